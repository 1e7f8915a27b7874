#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "model/model.h"
#include "model/signal_table.h"

namespace kiv {

// The illustration of a signal page: two periods of one signal as stored in
// signalParams, on the full A/D scale 0..255, with its two levels and its
// segment times marked; for a wave without an offset (the noise source) a
// band of height am. What it draws follows the wave's row (kWaves).
class WavePicture : public QWidget {
    Q_OBJECT
  public:
    explicit WavePicture(Waveform waveform, QWidget* parent = nullptr);

    // Repaints only when the name or a parameter differs from what is shown.
    void setSignal(const QString& name, const SignalParams& params);
    // Without captions and marks: the instructions page's ornament.
    void setDecorative(bool decorative);

    Waveform waveform() const { return m_waveform; }
    const QString& name() const { return m_name; }
    const SignalParams& params() const { return m_params; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Waveform m_waveform;
    QString m_name;
    SignalParams m_params;
    bool m_decorative = false;
};

// One segment of a periodic wave: it starts at level `from` and ends at
// level `to` after `duration` ms (a sine is one segment drawn as a cosine).
struct WaveSegment {
    const char* label;  // the time's box: "t1", "t2", "t3"
    double duration;
    double from;
    double to;
};

// The segments of one period as the picture draws them, one for each time
// of the wave's row; empty when the times give no drawable period (zero or
// negative) or the wave has no times.
std::vector<WaveSegment> PeriodSegments(Waveform waveform, const SignalParams& p);

}  // namespace kiv
