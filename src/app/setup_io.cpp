#include "app/setup_io.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/texts.h"
#include "model/utf8.h"

namespace kiv {
namespace {

namespace fs = std::filesystem;

// A setup is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kLargestSetup = 1 << 20;

// Where the setup text goes: the path itself, or, for a link, the regular
// file it leads to (so the link stays a link). Anything else standing at
// the path is refused: a setup written over a device node or a pipe would
// destroy it or never reach a disk.
struct Destination {
    std::string file;
    std::string refusal;
};

Destination FindDestination(const std::string& path) {
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(Utf8Path(path), ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return {{}, path + ": " + ec.message()};
    if (own.type() == fs::file_type::not_found || own.type() == fs::file_type::regular)
        return {path, {}};
    if (own.type() != fs::file_type::symlink) {
        return {{}, path + ": " + Say(TextId::SetupIsKind, {SayFileKind(own.type())})};
    }
    const fs::path target = fs::canonical(Utf8Path(path), ec);
    if (ec) return {{}, path + ": " + Say(TextId::SetupLinkNowhere, {ec.message()})};
    const fs::file_status reached = fs::symlink_status(target, ec);
    if (ec || reached.type() != fs::file_type::regular) {
        return {{},
                path + ": " +
                    Say(TextId::SetupLinkTo,
                        {Utf8Text(target), ec ? ec.message() : SayFileKind(reached.type())})};
    }
    return {Utf8Text(target), {}};
}

}  // namespace

std::variant<Setup, std::string> ReadSetupFile(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(Utf8Path(path), ec);
    if (ec) return path + ": " + ec.message();
    if (size > kLargestSetup) return path + ": " + Say(TextId::SetupTooLarge);
    std::ifstream in(Utf8Path(path), std::ios::binary);
    if (!in) return path + ": " + std::strerror(errno);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return path + ": " + Say(TextId::SetupReadError);
    auto parsed = ParseSetup(text.str());
    if (auto* refusal = std::get_if<SetupRefusal>(&parsed))
        return path + ": " + refusal->Describe();
    return std::get<Setup>(parsed);
}

std::string WriteSetupFile(const std::string& path, const Setup& setup, const std::string& writer) {
    const Destination destination = FindDestination(path);
    if (!destination.refusal.empty()) return destination.refusal;
    // QSaveFile creates its temporary file exclusively beside the target (a
    // link planted at a guessed name is never followed), gives it the old
    // file's permissions, and only renames it over the target once the text
    // is on disk.
    QSaveFile out(QString::fromStdString(destination.file));
    if (!out.open(QIODevice::WriteOnly)) return path + ": " + out.errorString().toStdString();
    const std::string text = WriteSetup(setup, writer);
    if (out.write(text.data(), static_cast<qint64>(text.size())) !=
        static_cast<qint64>(text.size())) {
        const std::string problem = out.errorString().toStdString();
        out.cancelWriting();
        return path + ": " + problem;
    }
    if (!out.commit()) return path + ": " + out.errorString().toStdString();
    return "";
}

}  // namespace kiv
