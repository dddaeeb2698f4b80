#include "BusyWindow.h"

#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "ui/MainWindow.h"

#include <QFile>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace mt::bench {

void PrintedMessages::show(const QString& text, const QString& /*title*/, MessageIcon /*icon*/) {
    std::fprintf(stderr, "%s: message: %s\n", m_name, qPrintable(text));
}

bool PrintedMessages::confirm(const QString& text, const QString& title) {
    show(text, title, MessageIcon::None);
    return false;
}

// A part of the window whose painting takes `ms` of the UI thread when the repaint timer
// asked for it, as a heavy view would.
class SlowPaint final : public QWidget {
public:
    explicit SlowPaint(QWidget* parent) : QWidget(parent) {}
    std::atomic<int> ms{0};
    std::atomic<bool> due{false};
    std::atomic<int> slowPaints{0};

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        if (!due.exchange(false)) {
            painter.fillRect(rect(), Qt::gray);
            return;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms.load());
        for (int shade = 0; std::chrono::steady_clock::now() < until; shade = (shade + 1) % 256) {
            painter.fillRect(rect(), QColor(shade, shade, shade));
        }
        ++slowPaints;
    }
};

namespace {

// A 1 s 44.1 kHz stereo 16-bit tone.
QByteArray ToneWav() {
    QByteArray data;
    for (int i = 0; i < 44100; ++i) {
        const auto s = static_cast<std::int16_t>(8000.0 * std::sin(i * 2.0 * M_PI * 441.0 / 44100));
        for (int c = 0; c < 2; ++c) {
            data.append(static_cast<char>(s & 0xff)).append(static_cast<char>((s >> 8) & 0xff));
        }
    }
    const auto u32 = [](std::uint32_t v) {
        return QByteArray{reinterpret_cast<const char*>(&v), 4};
    };
    const auto u16 = [](std::uint16_t v) {
        return QByteArray{reinterpret_cast<const char*>(&v), 2};
    };
    return "RIFF" + u32(static_cast<std::uint32_t>(36 + data.size())) + "WAVEfmt " + u32(16) +
           u16(1) + u16(2) + u32(44100) + u32(44100 * 4) + u16(4) + u16(16) + "data" +
           u32(static_cast<std::uint32_t>(data.size())) + data;
}

} // namespace

BusyWindow::BusyWindow(const char* name,
                       const std::function<void(AppContext&, SettingsStore&)>& beforeWindow)
    : m_messages(name),
      m_settings(m_dir.path()), m_platform{m_messages, m_fileDialogs, m_cursor, m_settings,
                                           m_trash,    m_processes,   m_urls,   m_modals} {
    m_context = std::make_unique<AppContext>(m_platform, [this](std::intptr_t, std::int32_t) {
        auto offline = std::make_unique<OfflineOutput>();
        m_output = offline.get();
        return openSoundLibraryWith(std::move(offline));
    });
    if (beforeWindow) {
        beforeWindow(*m_context, m_settings);
    }
    m_window = std::make_unique<MainWindow>(*m_context);
    m_window->onLoad();
    m_window->show();
    m_slow = new SlowPaint(m_window.get());
    m_slow->setGeometry(0, 0, 200, 200);
    m_slow->show();

    const QString tone = m_dir.filePath(QStringLiteral("tone.wav"));
    QFile file(tone);
    m_ready = file.open(QIODevice::WriteOnly) && file.write(ToneWav()) >= 0 &&
              (file.close(), m_context->bank.assign(0, tone) == TrackBank::Assigned::Ok);
    if (!m_ready) {
        std::fprintf(stderr, "%s: the tone did not load\n", name);
    }
    m_context->bank.setHold(0, true);

    m_audio = std::thread([this] {
        std::vector<float> block(256);
        while (m_running.load()) {
            if (m_output != nullptr) {
                m_output->pull(block.data(), 128);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(2900));
        }
    });
    m_repaint.setInterval(20);
    QObject::connect(&m_repaint, &QTimer::timeout, m_window.get(), [this] {
        if (m_slow->ms.load() > 0) {
            m_slow->due.store(true);
            m_window->update();
            m_slow->update();
        }
    });
    m_repaint.start();
}

BusyWindow::~BusyWindow() {
    m_repaint.stop();
    m_running.store(false);
    m_audio.join();
    m_context->sound.TerminateSoundLibrary();
    m_window.reset();
}

void BusyWindow::setPaintMs(int ms) {
    m_slow->ms.store(ms);
}

int BusyWindow::slowPaints() const {
    return m_slow->slowPaints.load();
}

} // namespace mt::bench
