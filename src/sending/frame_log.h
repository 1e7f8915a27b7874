#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "model/frame_format.h"

namespace kiv {

// The columns of a frames log: one per slot, and with a frame format on, one
// more holding the whole frame as it went on the line, in hex. With
// fixedSlots, every row has slotCount slot cells, empty where its frame has
// fewer slots: a log whose plan changes keeps to its header.
struct LogColumns {
    int slotCount = 0;
    bool wholeFrame = false;
    bool fixedSlots = false;
};
LogColumns LogColumnsOf(int slotCount, const FrameFormat& format);

// The frames log, one CSV line per frame handed to the port:
//
//   frame,ms_since_start,wall_clock_utc,slot1,...,slotN[,frame_hex]
//   1,0.012,2026-12-07T18:03:04.123Z,5,6,128,3
//   1,0.012,2026-12-07T18:03:04.123Z,0,10,0,2,01 03 00 0A 00 02 E4 09
//
// The slot columns hold the slots' bytes (noise added), the last column,
// there only with a frame format, the whole frame. kiv-cli's --log and the
// window's recording write the same lines. Every
// line is flushed as it is written: a reader following the file sees each
// frame as it goes, and a run that is killed keeps every line up to the
// kill.
class FrameLog {
  public:
    // Writes into a stream the caller keeps open (a file, standard output).
    explicit FrameLog(std::ostream& out) : m_out(&out) {}
    // Writes into a file of its own at `path`, which holds `size` bytes
    // already (the header), closed with the log. Such a log writes whole
    // rows only: a row the file refuses in part is cut off again.
    FrameLog(std::unique_ptr<std::ofstream> file, std::filesystem::path path, std::uint64_t size);

    // The header for those columns, which the frames then follow. False
    // once the log has refused a write.
    bool WriteHeader(const LogColumns& columns);
    bool WriteHeader(int slotCount) { return WriteHeader(LogColumns{slotCount, false}); }
    // The columns of a file whose header is written already.
    void setColumns(const LogColumns& columns) { m_columns = columns; }
    // One frame: its number, milliseconds since the log's start, and the
    // bytes as they went out, with where the slots lie in them (without
    // `parts`, the bytes are all slots).
    bool WriteFrame(std::int64_t number, double msSinceStart, std::span<const std::uint8_t> bytes,
                    const FrameParts& parts);
    bool WriteFrame(std::int64_t number, double msSinceStart, std::span<const std::uint8_t> bytes);

    // Rows remembered for TakeBack.
    static constexpr std::size_t kRowsKept = 8192;
    // A file log forgets its newest `rows` rows again (frames that never
    // left after all): the file is cut back to where the oldest of them
    // began. False, with the reason as failure(), when it cannot be.
    bool TakeBack(std::size_t rows);

    bool failed() const { return m_failed; }
    // The system's reason for the first refused write.
    const std::string& failure() const { return m_failure; }
    // The same in the program's words where it knows the reason (a full
    // disk), the system's after them; and what became of the last row.
    std::string failureInWords() const;

  private:
    bool Put(const std::string& text);
    void Fail();
    // After a refused row: the file keeps whole rows only.
    void CutBack();

    std::ostream* m_out;
    std::unique_ptr<std::ofstream> m_file;
    std::filesystem::path m_path;
    // Bytes in the file, whole rows only, and where the newest rows begin.
    std::uint64_t m_size = 0;
    std::vector<std::uint64_t> m_rowStarts;
    std::uint64_t m_rows = 0;
    LogColumns m_columns;
    bool m_failed = false;
    int m_errno = 0;
    std::string m_failure;
    bool m_rowCut = false;   // a refused row was cut off again
    bool m_rowLeft = false;  // a refused row could not be cut off
};

// The wall clock as 2026-12-07T18:03:04.123Z (UTC).
std::string WallClockUtcNow();

// Opens a log at `path` with those columns, the way every file
// of the program is written: only a regular file is replaced (a link leads
// to the regular file it names), and an earlier file there is replaced only
// once the new one holds its header. The header goes into a new file made
// in a new folder of its own beside the path (so no file or link that
// someone else made there is ever written through), which then takes the
// path's name with the earlier file's permissions; the frames follow in
// that file. kiv-cli's --log and the window's recording both open their
// files here. The path is UTF-8. Gives the log, or why it cannot be written.
std::variant<std::unique_ptr<FrameLog>, std::string> OpenLogFile(const std::string& path,
                                                                 const LogColumns& columns);

}  // namespace kiv
