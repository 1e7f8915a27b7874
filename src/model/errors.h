#pragma once

#include <stdexcept>
#include <string>

namespace kiv {

// Every failure the program can raise below an action's error handler.
// Handlers only need to know that something failed; the kind is kept so
// that tests and diagnostics can tell the causes apart.
enum class ErrorKind {
    NotANumber,      // a text that does not read as a number
    Overflow,        // a value outside its target range, or an integer overflow
    DivisionByZero,  // integer division or remainder by zero
    FloatingPoint,   // invalid operation, division by zero or overflow in real arithmetic
    NoListPosition,  // a combo box whose text was typed rather than picked
    Port,            // the serial port refused an operation
    LevelSum,        // a signal's am + a0 outside a byte's range
};

class KivError : public std::runtime_error {
  public:
    KivError(ErrorKind kind, const std::string& what) : std::runtime_error(what), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

  private:
    ErrorKind m_kind;
};

[[noreturn]] inline void Raise(ErrorKind kind, const std::string& what) {
    throw KivError(kind, what);
}

}  // namespace kiv
