#pragma once

#include <QEvent>
#include <QObject>

namespace kiv::testing {

// Counts the QEvent::User events posted to it, to see that a yield runs
// the window's pending events.
class EventCounter : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++count;
        return true;
    }
    int count = 0;
};

}  // namespace kiv::testing
