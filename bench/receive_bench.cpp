// Receive delivery: the time from 10 bytes written to a pseudo-terminal's master to their
// arrival, whole, in a handler on the user-interface thread. Four sides: TComm with the
// window's notification channel (read size 10, as the window opens it), Qt's QSerialPort and
// its readyRead signal, a raw poll() + read() on the user-interface thread itself, the floor
// that any component adds to, and a bare hand-over: a thread of its own that poll()s, read()s
// and posts each read as a Qt event, the floor of any design in which a worker reads and the
// user-interface thread handles what it read (TComm's design; QSerialPort reads on the
// user-interface thread and has one thread wake-up less). Each side holds a terminal of its own for
// the whole run, so that the sides can take turns delivery by delivery: how fast this machine wakes
// a sleeping thread changes within milliseconds as other programs come and go, and only
// neighbouring deliveries see the same machine. Every delivery is checked byte for byte.

#include "app/qt/qt_notify_channel.h"
#include "bench/side_by_side.h"
#include "serial/comm.h"
#include "tests/serial/pty_pair.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int DeliveriesPerRound = 50;

// What the handler of a side has received of the frame, and when it had all ten bytes.
struct Delivery {
    std::vector<std::uint8_t> got;
    Clock::time_point complete;
    bool done = false;

    void Take(const std::uint8_t* bytes, std::size_t length) {
        got.insert(got.end(), bytes, bytes + length);
        if (got.size() >= 10 && !done) {
            complete = Clock::now();
            done = true;
        }
    }
};

// One side: its terminal, what its handler received, and how to wait for the handler.
struct Side {
    tvk9::testing::PtyPair pty;
    Delivery delivery;
    std::function<void()> wait;
    std::array<std::uint8_t, 10> frame{};

    // Writes the next frame and returns the seconds until the handler had it whole; throws
    // when it was lost or differs from what was written.
    double Deliver() {
        for (std::size_t i = 0; i < frame.size(); ++i) {
            frame[i] = static_cast<std::uint8_t>(frame[i] + 11 + i);
        }
        delivery = {};
        const auto start = Clock::now();
        pty.Write(frame);
        wait();
        if (!delivery.done ||
            !std::equal(delivery.got.begin(), delivery.got.end(), frame.begin(), frame.end())) {
            throw std::runtime_error("a delivery was lost or damaged");
        }
        return std::chrono::duration<double>(delivery.complete - start).count();
    }
};

// Handles events until the handler has the whole frame, at most 5 s.
void RunUntilDelivered(const Delivery& delivery) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(5000);
    while (!delivery.done && limit.isActive()) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// A raw descriptor on the terminal, read by poll() and read() where the frame was written.
class RawPort {
public:
    explicit RawPort(Side& side)
        : fd_(::open(side.pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + side.pty.Path());
        }
        termios raw{};
        ::tcgetattr(fd_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
        side.wait = [this, &side] {
            while (!side.delivery.done) {
                pollfd p{fd_, POLLIN, 0};
                std::uint8_t buffer[10];
                if (::poll(&p, 1, 5000) <= 0) {
                    return;
                }
                const ssize_t n = ::read(fd_, buffer, sizeof buffer - side.delivery.got.size());
                if (n <= 0) {
                    return;
                }
                side.delivery.Take(buffer, static_cast<std::size_t>(n));
            }
        };
    }
    ~RawPort() { ::close(fd_); }
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;

private:
    int fd_;
};

// A thread that poll()s and read()s the terminal and posts each read, bytes inside, as a Qt
// event to a receiver on the user-interface thread: the bare hand-over, nothing around it.
class HandOver {
public:
    explicit HandOver(Side& side) : receiver_(side) {
        fd_ = ::open(side.pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        stop_ = ::eventfd(0, EFD_CLOEXEC);
        if (fd_ < 0 || stop_ < 0) {
            throw std::runtime_error("cannot open " + side.pty.Path());
        }
        termios raw{};
        ::tcgetattr(fd_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
        side.wait = [&side] { RunUntilDelivered(side.delivery); };
        thread_ = std::thread([this] { Run(); });
    }
    ~HandOver() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(stop_, &one, sizeof one);
        thread_.join();
        ::close(fd_);
        ::close(stop_);
    }
    HandOver(const HandOver&) = delete;
    HandOver& operator=(const HandOver&) = delete;

private:
    struct Bytes final : QEvent {
        Bytes() : QEvent(QEvent::User) {}
        std::array<std::uint8_t, 10> data{};
        std::size_t length = 0;
    };
    struct Receiver final : QObject {
        explicit Receiver(Side& s) : side(s) {}
        bool event(QEvent* e) override {
            if (e->type() != QEvent::User) {
                return QObject::event(e);
            }
            const auto* bytes = static_cast<Bytes*>(e);
            side.delivery.Take(bytes->data.data(), bytes->length);
            return true;
        }
        Side& side;
    };

    void Run() {
        for (;;) {
            pollfd p[2] = {{stop_, POLLIN, 0}, {fd_, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || p[0].revents != 0) {
                return;
            }
            auto event = std::make_unique<Bytes>();
            const ssize_t n = ::read(fd_, event->data.data(), event->data.size());
            if (n > 0) {
                event->length = static_cast<std::size_t>(n);
                QCoreApplication::postEvent(&receiver_, event.release());
            }
        }
    }

    Receiver receiver_;
    int fd_ = -1;
    int stop_ = -1;
    std::thread thread_;
};

// Median of each run of `chunk` samples: one sample per round.
std::vector<double> RoundMedians(const std::vector<double>& samples, std::size_t chunk) {
    std::vector<double> medians;
    for (std::size_t at = 0; at + chunk <= samples.size(); at += chunk) {
        medians.push_back(
            tvk9::bench::Median({samples.begin() + static_cast<std::ptrdiff_t>(at),
                                 samples.begin() + static_cast<std::ptrdiff_t>(at + chunk)}));
    }
    return medians;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    try {
        Side comm;
        Side qt;
        Side raw;
        Side bare;

        tvk9::QtNotifyChannel channel;
        tvk9::TComm port(channel);
        channel.Attach(port);
        port.OnReceiveData = [&comm](tvk9::TComm&, const std::uint8_t* buffer,
                                     std::uint16_t length) { comm.delivery.Take(buffer, length); };
        port.SetCommName(comm.pty.Path());
        port.SetInBufferSize(10);
        port.SetInputLen(10);
        port.OpenPort();
        if (!port.PortOpen()) {
            throw std::runtime_error("TComm: " + port.PortOpenError());
        }
        comm.wait = [&comm] { RunUntilDelivered(comm.delivery); };

        QSerialPort serial(QString::fromStdString(qt.pty.Path()));
        if (!serial.open(QIODevice::ReadWrite)) {
            throw std::runtime_error("QSerialPort: " + serial.errorString().toStdString());
        }
        QObject::connect(&serial, &QSerialPort::readyRead, [&qt, &serial] {
            const QByteArray bytes = serial.readAll();
            qt.delivery.Take(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::size_t>(bytes.size()));
        });
        qt.wait = [&qt] { RunUntilDelivered(qt.delivery); };

        RawPort rawPort(raw);
        HandOver handOver(bare);

        const int rounds = tvk9::bench::Rounds(31);
        const auto samples =
            tvk9::bench::Alternate(rounds * DeliveriesPerRound,
                                   {[&] { return comm.Deliver(); }, [&] { return qt.Deliver(); },
                                    [&] { return raw.Deliver(); }, [&] { return bare.Deliver(); }});
        const auto project = RoundMedians(samples[0], DeliveriesPerRound);
        const char* figure = "receive delivery, 10 bytes, pty to UI-thread handler (median)";
        tvk9::bench::PrintFigure(figure, tvk9::bench::Time(), project, "QSerialPort readyRead",
                                 RoundMedians(samples[1], DeliveriesPerRound), 1.1);
        tvk9::bench::PrintFigure(figure, tvk9::bench::Time(), project, "raw poll+read",
                                 RoundMedians(samples[2], DeliveriesPerRound), 0);
        tvk9::bench::PrintFigure(figure, tvk9::bench::Time(), project,
                                 "bare hand-over (a thread's poll+read posted as a Qt event)",
                                 RoundMedians(samples[3], DeliveriesPerRound), 0);
        port.ClosePort();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "receive_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
