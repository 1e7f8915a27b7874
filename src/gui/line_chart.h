#pragma once

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "model/form.h"

namespace kiv {

// One frame as it was handed to the port.
struct ChartFrame {
    std::uint64_t count = 0;  // its number since sending started, from 1
    double ms = 0;            // when, in milliseconds since sending started
    std::uint8_t length = 0;  // bytes in the frame, up to one a slot
    std::array<std::uint8_t, kSlotCount> bytes{};
    // Its number and time in the recording under way when it was sent; 0
    // when it was not recorded.
    std::uint64_t recorded = 0;
    double recordedMs = 0;

    bool operator==(const ChartFrame&) const = default;
};

// The bytes sent, one trace per byte of the frame, each in a lane of its own
// (level 0..255 up within the lane, time since sending started across),
// over the last 1, 10 or 60 seconds. Where a column of the picture spans
// several frames, a trace shows the range of its levels there as a pale
// band and their mean as the line, so that a wave faster than a column
// stays readable instead of filling its lane.
//
// The send loop shares the window's thread, so the chart never draws what it
// drew before: frames are only stored when they arrive, and refresh() (which
// the page calls at most 30 times a second) moves the picture left by the
// columns that time has advanced and draws just those columns into an image.
// On screen the plot is scrolled by as many columns, and a paint copies only
// the new columns of the image over the grid.
class LineChart : public QWidget {
    Q_OBJECT
  public:
    // Frames kept: a minute at the shortest period, with room to spare.
    static constexpr std::size_t kCapacity = 65536;
    static constexpr std::size_t kMarkCapacity = 64;

    explicit LineChart(QWidget* parent = nullptr);

    // A new sending starts: forgets every frame and mark.
    void clear();
    // Stores a frame; frames come in the order they were sent.
    void append(const ChartFrame& frame);
    // The plan or the period changed at `ms`: a mark across the chart, and
    // the traces start again after it.
    void addMark(double ms);
    // Names of the traces, one per byte of the frame ("3: sinx1"); one lane
    // each (ten lanes while there are none).
    void setLabels(const QStringList& labels);
    const QStringList& labels() const { return m_labels; }

    // The seconds across the chart: 1, 10 or 60.
    void setSpanSeconds(int seconds);
    int spanSeconds() const { return m_spanSeconds; }

    // A frozen chart keeps its picture while frames go on being stored;
    // thawing shows the latest span again.
    void setFrozen(bool frozen);
    bool frozen() const { return m_frozen; }

    // Draws what arrived since the last refresh.
    void refresh();

    // The frames stored, oldest first.
    std::vector<ChartFrame> frames() const;
    std::vector<double> marks() const;

    // The stored frame nearest to the time under x (widget coordinates) in
    // the picture as it stands; none outside the plot or where no frame was
    // sent within a second.
    std::optional<ChartFrame> frameAt(int x) const;
    // What the page reads out for a frame: count, time, bytes in decimal and
    // in hex.
    static QString Describe(const ChartFrame& frame);

    // The plot's area within the widget.
    QRect plotRect() const;
    // The lanes across the plot, one per trace.
    int laneCount() const;
    // The rows of the picture lane `lane` draws levels 255 to 0 into.
    std::pair<int, int> laneRows(int lane) const;
    static QRgb TraceColour(int trace);
    // The pale colour of a trace's band.
    static QRgb BandColour(int trace);
    // The traces and marks as drawn so far, the plot's size.
    const QImage& picture() const { return m_image; }
    // Draws the whole span again from the frames stored.
    void rebuild();

  signals:
    // The frame under the pointer, described; empty when there is none.
    void pointed(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    const ChartFrame& at(std::size_t i) const;  // i-th oldest stored
    // The first stored frame sent at `ms` or later (m_size if none).
    std::size_t firstAtOrAfter(double ms) const;
    double msPerColumn() const;
    std::int64_t columnOf(double ms) const;
    double msAtX(int x) const;
    void drawFrom(std::size_t first);
    void scrollTo(std::int64_t column);
    void drawMark(std::int64_t column);
    void drawFrame(const ChartFrame& frame);
    // Where column `column` of the picture stands in the image.
    int imageX(std::int64_t column) const;
    // Brings the screen up to the picture after a refresh, given the right
    // column the screen showed before it.
    void showDrawn(std::int64_t shownRight);
    void paintRun(int x, int y0, int y1, QRgb colour);
    // Clears what a trace drew in column x of its lane; marks stay.
    void clearLane(int x, int lane);
    int yOf(int level, int lane) const;
    void drawBackdrop();
    void paintBand(QPainter& p, const QRect& band);
    // Draws a line of text through a picture of it kept from its first
    // drawing: laying text out again each time cost more than the rest of
    // a paint.
    void drawStamp(QPainter& p, const QRect& box, int flags, const QString& text, QRgb colour);
    // The strip of time labels below the plot.
    QRect labelStrip() const;
    // The region a refresh changes: the plot and the time labels below it.
    QRegion movingRegion() const;

    std::vector<ChartFrame> m_ring;
    std::size_t m_head = 0;  // where the next frame goes
    std::size_t m_size = 0;
    std::uint64_t m_appended = 0;  // frames stored since clear
    std::vector<double> m_markTimes;

    QStringList m_labels;
    int m_spanSeconds = 10;
    bool m_frozen = false;

    // The picture: traces and marks on a transparent image as wide as the
    // plot, whose right edge is column m_rightColumn.
    QImage m_image;
    QImage m_backdrop;  // margins, grid of levels, legend
    // Pictures of the time labels and the frozen sign, by colour and text.
    QHash<QString, QImage> m_stamps;
    std::int64_t m_rightColumn = 0;
    std::uint64_t m_drawn = 0;  // frames drawn, counted like m_appended
    std::size_t m_marksDrawn = 0;
    // The columns drawn into since the screen last caught up.
    std::int64_t m_dirtyFrom = 0;
    std::int64_t m_dirtyTo = 0;
    // Per trace, the levels of the column it draws into now, and where its
    // line left the column before; lastY -1 where the trace starts afresh.
    struct Pen {
        std::int64_t column = 0;
        int count = 0;  // frames in `column`; 0 for none yet
        int low = 0;
        int high = 0;
        std::int64_t sum = 0;
        int lastY = -1;
        std::int64_t lastColumn = 0;
    };
    std::array<Pen, kSlotCount> m_pens{};
    int m_pointerX = -1;
};

}  // namespace kiv
