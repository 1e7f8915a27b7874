#include "app/services.h"

namespace kiv {

void Services::AttachTo(Model& w) const {
    w.clock = clock;
    w.yielder = yielder;
    w.random = random;
    w.MSComm1 = port;
    w.messageBox = messageBox;
}

}  // namespace kiv
