#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

// QSerialPort needs an application object for its notifiers; one for the
// whole run, created before the first test and gone after the last.
class CoreApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

  private:
    char m_name[17] = "kiv_qtport_tests";
    char* m_argv[2] = {m_name, nullptr};
    int m_argc = 1;
    std::unique_ptr<QCoreApplication> m_app;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new CoreApplicationEnvironment);

}  // namespace
