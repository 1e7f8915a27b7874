#include "sending/frame_log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <random>

#include "model/frame_format.h"
#include "model/texts.h"
#include "model/utf8.h"

namespace kiv {
namespace {

namespace fs = std::filesystem;

// The file the log replaces: the path itself, or the regular file a link
// names, made when the link leads nowhere yet (the link stays a link).
// Anything else at the path is refused.
std::variant<fs::path, std::string> Destination(const std::string& path) {
    const fs::path given = Utf8Path(path);
    fs::path at = given;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(at, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) return path + ": " + ec.message();
        if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular)
            return at;
        if (status.type() != fs::file_type::symlink) {
            if (at == given)
                return path + ": " + Say(TextId::LogIsKind, {SayFileKind(status.type())});
            return path + ": " +
                   Say(TextId::LogLeadsTo, {Utf8Text(at), SayFileKind(status.type())});
        }
        const fs::path next = fs::read_symlink(at, ec);
        if (ec) return path + ": " + ec.message();
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return path + ": " + Say(TextId::LogTooManyLinks);
}

// A folder of the program's own beside the destination, made for this log
// alone: making a folder fails where anything already stands, so the new
// file inside it is one nobody else made or planted a link for, on every
// system. Empty when no name was free or the folder cannot be made.
fs::path PrivateFolderBeside(const fs::path& destination, std::error_code& ec) {
    std::random_device device;
    std::mt19937 pick(device());
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(pick()));
        fs::path folder = destination;
        folder += suffix;
        ec.clear();
        if (fs::create_directory(folder, ec)) {
            fs::permissions(folder, fs::perms::owner_all, ec);
            return folder;
        }
        if (ec) return {};
    }
    ec = std::make_error_code(std::errc::file_exists);
    return {};
}

std::string Reason() {
    return errno != 0 ? std::string(std::strerror(errno)) : Say(TextId::WriteError);
}

// A refused write's reason in the program's own words, where it has them.
std::string KnownReason(int errnum) {
    switch (errnum) {
        case ENOSPC:
            return Say(TextId::DiskFull);
        case EFBIG:
            return Say(TextId::FileTooLarge);
#ifdef EDQUOT
        case EDQUOT:
            return Say(TextId::QuotaUsedUp);
#endif
        case EIO:
            return Say(TextId::DiskIoError);
        default:
            return {};
    }
}

}  // namespace

std::string WallClockUtcNow() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

FrameLog::FrameLog(std::unique_ptr<std::ofstream> file, std::filesystem::path path,
                   std::uint64_t size)
    : m_out(file.get()),
      m_file(std::move(file)),
      m_path(std::move(path)),
      m_size(size),
      m_rowStarts(kRowsKept) {}

bool FrameLog::Put(const std::string& text) {
    if (m_failed) return false;
    // A refusal leaves the system's reason in errno.
    errno = 0;
    *m_out << text;
    m_out->flush();
    if (*m_out) {
        m_size += text.size();
        return true;
    }
    Fail();
    CutBack();
    return false;
}

void FrameLog::Fail() {
    m_failed = true;
    m_errno = errno;
    m_failure = Reason();
}

void FrameLog::CutBack() {
    if (!m_file) return;
    // Closing first: what the stream still holds of the row must not reach
    // the file after it was cut.
    m_file->close();
    std::error_code ec;
    if (fs::file_size(m_path, ec) == m_size && !ec) return;
    fs::resize_file(m_path, m_size, ec);
    (ec ? m_rowLeft : m_rowCut) = true;
}

bool FrameLog::TakeBack(std::size_t rows) {
    if (rows == 0 || m_failed) return !m_failed;
    if (!m_file || rows > m_rows || rows > m_rowStarts.size()) {
        m_failed = true;
        m_failure = Say(TextId::RowsNotTakenBack);
        return false;
    }
    m_file->flush();
    const std::uint64_t first = m_rowStarts[(m_rows - rows) % m_rowStarts.size()];
    std::error_code ec;
    fs::resize_file(m_path, first, ec);
    if (ec || !*m_file) {
        m_failed = true;
        m_errno = ec.value();
        m_failure = ec ? ec.message() : Say(TextId::WriteError);
        return false;
    }
    m_size = first;
    m_rows -= rows;
    return true;
}

std::string FrameLog::failureInWords() const {
    std::string words = KnownReason(m_errno);
    if (words.empty())
        words = m_failure;
    else if (!m_failure.empty())
        words += Say(TextId::SystemSaid, {m_failure});
    if (m_rowCut) words += Say(TextId::LastRowCutOff);
    if (m_rowLeft) words += Say(TextId::LastRowLeftCut);
    return words;
}

LogColumns LogColumnsOf(int slotCount, const FrameFormat& format) {
    return LogColumns{slotCount, !format.Off()};
}

bool FrameLog::WriteHeader(const LogColumns& columns) {
    m_columns = columns;
    std::string line = "frame,ms_since_start,wall_clock_utc";
    for (int i = 1; i <= columns.slotCount; ++i) line += ",slot" + std::to_string(i);
    if (columns.wholeFrame) line += ",frame_hex";
    return Put(line + '\n');
}

bool FrameLog::WriteFrame(std::int64_t number, double msSinceStart,
                          std::span<const std::uint8_t> bytes) {
    FrameParts all;
    all.slotBytes = static_cast<int>(bytes.size());
    return WriteFrame(number, msSinceStart, bytes, all);
}

bool FrameLog::WriteFrame(std::int64_t number, double msSinceStart,
                          std::span<const std::uint8_t> bytes, const FrameParts& parts) {
    char when[32];
    std::snprintf(when, sizeof when, "%.3f", msSinceStart);
    std::string line = std::to_string(number) + ',' + when + ',' + WallClockUtcNow();
    const std::size_t from =
        std::min<std::size_t>(static_cast<std::size_t>(parts.SlotsStart()), bytes.size());
    const std::size_t to =
        std::min<std::size_t>(static_cast<std::size_t>(parts.ChecksumStart()), bytes.size());
    for (const std::uint8_t b : bytes.subspan(from, to - from))
        line += ',' + std::to_string(static_cast<int>(b));
    if (m_columns.fixedSlots)
        for (auto cell = static_cast<int>(to - from); cell < m_columns.slotCount; ++cell)
            line += ',';
    if (m_columns.wholeFrame)
        line += ',' + ByteListText(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const std::uint64_t start = m_size;
    if (!Put(line + '\n')) return false;
    if (!m_rowStarts.empty()) m_rowStarts[m_rows % m_rowStarts.size()] = start;
    ++m_rows;
    return true;
}

std::variant<std::unique_ptr<FrameLog>, std::string> OpenLogFile(const std::string& path,
                                                                 const LogColumns& columns) {
    auto destination = Destination(path);
    if (auto* refusal = std::get_if<std::string>(&destination)) return *refusal;
    const fs::path target = std::get<fs::path>(destination);

    std::error_code ec;
    const fs::path folder = PrivateFolderBeside(target, ec);
    if (folder.empty()) return path + ": " + ec.message();
    const fs::path temporary = folder / "log.csv";
    const auto giveUp = [&](const std::string& reason) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        return path + ": " + reason;
    };
    {
        errno = 0;
        std::ofstream first(temporary, std::ios::out | std::ios::trunc);
        if (!first) return giveUp(Reason());
        FrameLog header(first);
        if (!header.WriteHeader(columns)) {
            first.close();
            return giveUp(header.failure());
        }
    }
    // An earlier log keeps its permissions, as a setup file does.
    const fs::file_status earlier = fs::status(target, ec);
    if (!ec && earlier.type() == fs::file_type::regular)
        fs::permissions(temporary, earlier.permissions(), ec);
    // Renaming a closed file works on every system; the frames then go on
    // at the end of the file under its final name.
    fs::rename(temporary, target, ec);
    if (ec) return giveUp(ec.message());
    fs::remove(folder, ec);
    const std::uint64_t size = fs::file_size(target, ec);
    if (ec) return path + ": " + ec.message();
    errno = 0;
    auto file = std::make_unique<std::ofstream>(target, std::ios::out | std::ios::app);
    if (!*file) return path + ": " + Reason();
    auto log = std::make_unique<FrameLog>(std::move(file), target, size);
    log->setColumns(columns);
    return log;
}

}  // namespace kiv
