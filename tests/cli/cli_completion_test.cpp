// kiv-cli's bash completion, run through bash itself: it offers every option
// that --help lists and what each option's value takes.
#include "cli/cli_completion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_help.h"
#include "cli/cli_options.h"

namespace kiv {
namespace {

namespace fs = std::filesystem;

class CompletionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kiv_completion_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "kiv-cli.bash") << BashCompletion();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // What the completion offers for the words of a command line, the last
    // one being completed, split the way bash splits them (at "=" too).
    std::set<std::string> Offered(const std::vector<std::string>& words) {
        std::string array;
        for (const std::string& w : words) array += " '" + w + "'";
        const std::string script = "source kiv-cli.bash; COMP_WORDS=(" + array +
                                   "); COMP_CWORD=" + std::to_string(words.size() - 1) +
                                   "; _kiv_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
        std::ofstream(m_dir / "run.sh") << script;
        const std::string command = "cd '" + m_dir.string() + "' && LC_ALL=C.UTF-8 bash run.sh";
        FILE* pipe = popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::string out;
        char buffer[4096];
        for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << out;
        std::set<std::string> offered;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) offered.insert(line);
        return offered;
    }

    fs::path m_dir;
};

// The options --help lists: each line of it that starts with "  --".
std::set<std::string> HelpOptions() {
    std::set<std::string> names;
    std::istringstream lines(CliUsage());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  --", 0) == 0) names.insert(line.substr(2, line.find(' ', 2) - 2));
    return names;
}

TEST_F(CompletionTest, OffersExactlyTheOptionsHelpLists) {
    const std::set<std::string> help = HelpOptions();
    ASSERT_FALSE(help.empty());
    EXPECT_EQ(Offered({"kiv-cli", "--"}), help);
    EXPECT_EQ(Offered({"kiv-cli", ""}), help);
    // After a finished value, the options again.
    EXPECT_EQ(Offered({"kiv-cli", "--frames", "10", "--"}), help);
}

TEST_F(CompletionTest, APrefixNarrowsToTheOptionsStartingWithIt) {
    for (const CliOption& option : kCliOptions) {
        const std::string prefix(option.name.substr(0, 4));
        std::set<std::string> expected;
        for (const CliOption& other : kCliOptions)
            if (other.name.substr(0, 4) == prefix) expected.insert(std::string(other.name));
        EXPECT_EQ(Offered({"kiv-cli", prefix}), expected) << prefix;
    }
}

TEST_F(CompletionTest, EachOptionsValueCompletesAsItsRowSays) {
    std::ofstream(m_dir / "setup.ini") << "";
    fs::create_directories(m_dir / "sub");
    for (const CliOption& option : kCliOptions) {
        const std::string name(option.name);
        std::set<std::string> expected;
        std::string start;  // what is typed of the value so far
        switch (CompletionOf(option.value, option.take != nullptr)) {
            case CompletionKind::NoValue:
                continue;
            case CompletionKind::Files:
                expected = {"setup.ini", "sub"};
                start = "s";
                break;
            case CompletionKind::Words:
                for (std::size_t at = 0; at != std::string_view::npos;) {
                    const std::size_t bar = option.value.find('|', at);
                    expected.insert(std::string(option.value.substr(at, bar - at)));
                    at = bar == std::string_view::npos ? bar : bar + 1;
                }
                break;
            case CompletionKind::Free:
                break;  // nothing to offer, and no option in place of a value
        }
        EXPECT_EQ(Offered({"kiv-cli", name, start}), expected) << name;
        EXPECT_EQ(Offered({"kiv-cli", name, "=", start}), expected) << name << "=";
        if (start.empty()) {
            EXPECT_EQ(Offered({"kiv-cli", name, "="}), expected) << name << "= (nothing yet)";
        }
    }
}

TEST(CompletionKindTest, ReadsTheValueShownInHelp) {
    struct Case {
        const char* value;
        bool takesValue;
        CompletionKind kind;
    };
    const Case cases[] = {
        {"", false, CompletionKind::NoValue},  {"FILE", true, CompletionKind::Files},
        {"PATH", true, CompletionKind::Files}, {"无|奇|偶", true, CompletionKind::Words},
        {"a|b", true, CompletionKind::Words},  {"N", true, CompletionKind::Free},
        {"9600", true, CompletionKind::Free},  {"5,6,sinx1,sinx2", true, CompletionKind::Free},
    };
    for (const Case& c : cases) EXPECT_EQ(CompletionOf(c.value, c.takesValue), c.kind) << c.value;
}

// The rows as they stand: the parity takes its three words, a setup a file.
TEST_F(CompletionTest, ParityAndSetupOfferTheirValues) {
    std::ofstream(m_dir / "my.ini") << "";
    EXPECT_EQ(Offered({"kiv-cli", "--parity", ""}), (std::set<std::string>{"无", "奇", "偶"}));
    EXPECT_EQ(Offered({"kiv-cli", "--setup", "m"}), (std::set<std::string>{"my.ini"}));
    EXPECT_EQ(Offered({"kiv-cli", "--setup", "=", "m"}), (std::set<std::string>{"my.ini"}));
}

}  // namespace
}  // namespace kiv
