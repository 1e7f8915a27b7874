#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

// QSerialPort needs an application object for its notifiers; one for the
// whole run, created before the first test and gone after the last.
class CoreApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    char name_[17] = "kiv_qtport_tests";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new CoreApplicationEnvironment);

}  // namespace
