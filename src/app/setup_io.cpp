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

// Why a setup is not read from what stands at the path, or nothing: it is
// read from a regular file or a pipe (a shell's <(...), a standard input
// that is piped), never from a device, which may never end (/dev/zero) or
// wait for a person (a terminal), nor from a folder or a socket.
std::string ReadRefusal(const std::string& path) {
    std::error_code ec;
    const fs::file_status reached = fs::status(Utf8Path(path), ec);
    if (ec) return path + ": " + ec.message();
    const fs::file_type type = reached.type();
    if (type == fs::file_type::regular || type == fs::file_type::fifo) return "";
    if (fs::symlink_status(Utf8Path(path), ec).type() == fs::file_type::symlink) {
        const fs::path target = fs::canonical(Utf8Path(path), ec);
        if (!ec)
            return path + ": " +
                   Say(TextId::SetupReadLinkTo, {Utf8Text(target), SayFileKind(type)});
    }
    return path + ": " + Say(TextId::SetupReadIsKind, {SayFileKind(type)});
}

}  // namespace

std::variant<Setup, std::string> ReadSetupFile(const std::string& path) {
    if (std::string refusal = ReadRefusal(path); !refusal.empty()) return refusal;
    errno = 0;
    std::ifstream in(Utf8Path(path), std::ios::binary);
    if (!in) return path + ": " + (errno != 0 ? std::strerror(errno) : Say(TextId::SetupReadError));
    // Read up to one byte past the limit: a pipe tells its size only by
    // ending, and one that goes on past the limit is not a setup.
    std::string text;
    char chunk[8192];
    while (text.size() <= kLargestSetup && in.read(chunk, sizeof chunk).gcount() > 0)
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return path + ": " + Say(TextId::SetupReadError);
    if (text.size() > kLargestSetup) return path + ": " + Say(TextId::SetupTooLarge);
    auto parsed = ParseSetup(text);
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
