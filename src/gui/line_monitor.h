#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "gui/line_chart.h"
#include "sending/arrived_rows.h"
#include "sending/frame_tap.h"
#include "sending/loopback_matcher.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QPlainTextEdit;
class QPushButton;
class QStackedLayout;

namespace kiv {

// Lines of text that change many times a second: painted by the widget
// itself over its own background, at a fixed height, so that new text
// neither lays the page out again nor repaints what lies beneath (a QLabel
// does both).
class ReadoutLines : public QWidget {
    Q_OBJECT
  public:
    ReadoutLines(int lineCount, QWidget* parent = nullptr);
    void setLine(int index, const QString& text);
    const QStringList& lines() const { return m_lines; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QStringList m_lines;
};

// A line of text that breaks where it must to fit its width, inside a word
// too (a long path has no spaces), in at most a few lines; the whole text is
// its tooltip.
class WrappedLabel : public QLabel {
    Q_OBJECT
  public:
    static constexpr int kMaxLines = 3;
    explicit WrappedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return m_full; }

    // `text` in lines no wider than `width`, at spaces where it can; past
    // `maxLines` the last line ends in "…".
    static QString Wrap(const QString& text, const QFont& font, int width, int maxLines);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void wrap();
    QString m_full;
};

// The page "线路监视": what actually left for the port, live, and what came
// back. It reads the frame tap's ring and the line's arrived bytes when it
// looks, never when a frame is sent, and looks at most 30 times a second
// while it is on screen, so the send loop on the same thread keeps its pace.
// While the loop sends, a look waits for the next frame to leave and runs
// at the start of the loop's wait, where it has the whole period to spare.
//
// The page can open in a window of its own, which the user sizes and keeps
// beside the main window (whose pages keep their size); closing that window
// brings the monitor back to its page.
class LineMonitor : public QWidget {
    Q_OBJECT
  public:
    // How often the page looks while shown.
    static constexpr int kLookIntervalMs = 34;
    // How often the figures beside the chart follow while the loop sends.
    static constexpr int kFiguresIntervalMs = 250;
    // Arrived lines kept on screen; the oldest go first.
    static constexpr int kArrivedLines = 200;
    // Arrived bytes on a line, from stream positions that are multiples of
    // it.
    static constexpr int kArrivedPerLine = 16;

    // Watches the frames `model` sends: the page's tap becomes the model's.
    LineMonitor(Model& model, QWidget* parent = nullptr);
    ~LineMonitor() override;

    // Takes in what was sent and what arrived since the last look, and shows
    // it. Runs on the page's timer; tests call it to look at once.
    void look();
    // The page's timer: looks now, or asks the tap for the next frame; when
    // none left for a few ticks, looks and shows the figures at once.
    void tick();

    // The red line about the line's rate; empty hides it.
    void showCapacity(const QString& warning);

    // Into a window of its own, or back onto its page.
    void setDetached(bool detached);
    bool detached() const;
    // The monitor's own window (made at the first detach).
    QWidget* ownWindow() const { return m_window; }

    // Why a recording to `path` did not start (`started` false) or stopped:
    // the program's own sentence, the system's words only as a detail.
    static QString RecordingFailure(const QString& path, const QString& reason, bool started);

    LineChart* chart() const { return m_chart; }
    enum ReadoutLine { kPointed, kLastDecimal, kLastHex, kRates, kReadoutLines };
    FrameTap& tap() { return m_tap; }
    const LoopbackMatcher& loopback() const { return m_loopback; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void toggleRecording();
    void startRecording(const QString& path);
    void recordingFailed(const QString& reason);
    void showRecording();

    void takeFrames();
    void takeArrived();
    // The lines of figures as they stand: the last frame, rates and counts.
    std::vector<std::pair<ReadoutLine, QString>> figures() const;
    // Called after a frame the page asked the tap for has left.
    void frameLeft();

    Model& m_model;
    FrameTap m_tap;
    LoopbackMatcher m_loopback;
    QTimer m_timer;

    // What the page shows: the monitor itself, or a line saying that it is
    // in its own window.
    QStackedLayout* m_place = nullptr;
    QWidget* m_body = nullptr;
    QWidget* m_away = nullptr;
    QWidget* m_window = nullptr;
    QPushButton* m_detach = nullptr;
    LineChart* m_chart = nullptr;
    QComboBox* m_span = nullptr;
    QCheckBox* m_freeze = nullptr;
    QPushButton* m_record = nullptr;
    QLabel* m_recordState = nullptr;
    WrappedLabel* m_recordFailure = nullptr;
    // The frame under the pointer, the last frame in decimal and in hex, the
    // rates and counts.
    ReadoutLines* m_readout = nullptr;
    QLabel* m_capacity = nullptr;
    QPlainTextEdit* m_arrived = nullptr;
    QFileDialog* m_dialog = nullptr;

    // What the page has taken in: the tap's sending, its frames and marks by
    // number, the arrived bytes by stream position.
    std::uint64_t m_session = 0;
    std::uint64_t m_seenTakeBacks = 0;
    std::uint64_t m_seenFrames = 0;
    std::uint64_t m_seenMarks = 0;
    std::uint64_t m_seenArrived = 0;
    ArrivedRows m_arrivedRows{kArrivedPerLine, kArrivedLines};
    // Ticks since the last look; a look asked of the tap and not had (no
    // frame left meanwhile) happens at once after a few.
    int m_ticksWithoutLook = 0;
    bool m_lookAsked = false;
    // Lines of figures still to show while sending, one after each frame.
    QElapsedTimer m_sinceFigures;
    std::vector<std::pair<ReadoutLine, QString>> m_figuresToShow;
    QString m_failure;  // why the last recording stopped, said in full
};

}  // namespace kiv
