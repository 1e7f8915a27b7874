#pragma once

#include "model/model.h"

namespace kiv {

// The platform services a model works with. Every front end and every test
// rig fills one and attaches it, so a model is wired the same way everywhere.
// The services are owned elsewhere and must outlive the model's use of them.
struct Services {
    MillisecondClock* clock = nullptr;
    Yielder* yielder = nullptr;
    RandomSource* random = nullptr;
    CommControl* port = nullptr;              // MSComm1
    MessageBoxService* messageBox = nullptr;  // none: ShowInfo answers Cancel at once

    // Gives the model these services (a null one included).
    void AttachTo(Model& w) const;
};

}  // namespace kiv
