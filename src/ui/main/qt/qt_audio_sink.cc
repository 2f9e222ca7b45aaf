#include "ui/main/qt/qt_audio_sink.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <cstring>
#include <vector>

namespace ovc {
namespace {

QAudioFormat ToQtFormat(const media::WaveFormat& format) {
  QAudioFormat qt_format;
  qt_format.setSampleRate(static_cast<int>(format.samples_per_sec));
  qt_format.setChannelCount(format.channels);
  qt_format.setSampleFormat(format.bits_per_sample == 8 ? QAudioFormat::UInt8
                                                        : QAudioFormat::Int16);
  qt_format.setChannelConfig(QAudioFormat::defaultChannelConfigForChannelCount(format.channels));
  return qt_format;
}

}  // namespace

// The queue as the sound device sees it: a sequential device that never runs
// dry (silence stands in for missing sound, so the output keeps running).
class QueueDevice : public QIODevice {
 public:
  explicit QueueDevice(std::shared_ptr<void> keep, AudioRing* ring, std::atomic<int>* silence)
      : keep_(std::move(keep)), ring_(ring), silence_(silence) {}
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override { return 1 << 16; }

 protected:
  qint64 readData(char* data, qint64 max) override {
    if (max <= 0) return 0;
    const size_t got = ring_->Read(reinterpret_cast<uint8_t*>(data), static_cast<size_t>(max));
    std::memset(data + got, silence_->load(), static_cast<size_t>(max) - got);
    return max;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  std::shared_ptr<void> keep_;  // the ring's owner
  AudioRing* ring_;
  std::atomic<int>* silence_;
};

class QtAudioSink::Output : public QObject {
 public:
  Output(const QAudioDevice& device, std::shared_ptr<Shared> shared)
      : device_(device), shared_(std::move(shared)) {}

  // GUI thread: plays `format` from now on (a null format stops).
  void Start(const QAudioFormat& format) {
    if (sink_) {
      sink_->stop();
      delete sink_;
      sink_ = nullptr;
    }
    if (queue_) {
      delete queue_;
      queue_ = nullptr;
    }
    if (!format.isValid() || device_.isNull()) return;
    queue_ = new QueueDevice(shared_, &shared_->ring, &shared_->silence_byte);
    queue_->open(QIODevice::ReadOnly);
    sink_ = new QAudioSink(device_, format, this);
    // About a tenth of a second in the device: short enough for a
    // responsive preview, long enough not to stutter.
    sink_->setBufferSize(format.bytesForDuration(100000));
    sink_->start(queue_);
  }

  ~Output() override {
    if (sink_) sink_->stop();
    delete sink_;
    delete queue_;
  }

 private:
  QAudioDevice device_;
  std::shared_ptr<Shared> shared_;
  QAudioSink* sink_ = nullptr;
  QueueDevice* queue_ = nullptr;
};

QtAudioSink::QtAudioSink() : QtAudioSink(QMediaDevices::defaultAudioOutput()) {}

QtAudioSink::QtAudioSink(const QAudioDevice& device)
    : device_(device), output_(new Output(device, shared_)) {}

QtAudioSink::~QtAudioSink() {
  if (QThread::currentThread() == output_->thread()) delete output_;
  else output_->deleteLater();
}

bool QtAudioSink::Open(const media::WaveFormat& format) {
  open_.store(false);
  if (device_.isNull() || format.channels == 0 || format.samples_per_sec == 0 ||
      (format.bits_per_sample != 8 && format.bits_per_sample != 16) || format.block_align == 0)
    return false;
  const QAudioFormat qt_format = ToQtFormat(format);
  if (!device_.isFormatSupported(qt_format)) return false;
  bits_.store(format.bits_per_sample);
  shared_->silence_byte.store(format.bits_per_sample == 8 ? 0x80 : 0);
  shared_->ring.Reset(static_cast<size_t>(format.samples_per_sec * kQueueSeconds) *
                          format.block_align,
                      format.block_align);
  Output* output = output_;
  QMetaObject::invokeMethod(output, [output, qt_format] { output->Start(qt_format); },
                            Qt::QueuedConnection);
  open_.store(true);
  return true;
}

void QtAudioSink::Play(const uint8_t* data, int32_t bytes) {
  if (!open_.load() || !data || bytes <= 0) return;
  const double gain = gain_.load();
  if (gain >= 1) {
    shared_->ring.Write(data, static_cast<size_t>(bytes));
    return;
  }
  std::vector<uint8_t> scaled(data, data + bytes);
  ScalePcm(scaled.data(), scaled.size(), bits_.load(), gain);
  shared_->ring.Write(scaled.data(), scaled.size());
}

void QtAudioSink::SetVolume(double gain) { gain_.store(gain < 0 ? 0 : gain > 1 ? 1 : gain); }

void QtAudioSink::Flush() { shared_->ring.Clear(); }

}  // namespace ovc
