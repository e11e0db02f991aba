#include "cli/PortRun.h"

#include "cli/Texts.h"
#include "session/ModuleSession.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <utility>

namespace panelix::cli {

namespace {

std::atomic<int> interruptFlag{0};

QString operationName(PortOp op) {
    switch (op) {
    case PortOp::Test: return QStringLiteral("test");
    case PortOp::Bitmaps:
    case PortOp::Image: return QStringLiteral("download");
    case PortOp::Font: return QStringLiteral("font");
    case PortOp::Command: return QStringLiteral("command");
    case PortOp::Play: return QStringLiteral("play");
    }
    return {};
}

QString humanBytes(double bytes) {
    if (bytes >= 1024 * 1024)
        return QString::number(bytes / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
    if (bytes >= 1024)
        return QString::number(bytes / 1024, 'f', 1) + QStringLiteral(" KB");
    return QString::number(qint64(bytes)) + QStringLiteral(" B");
}

QString clockText(qint64 seconds) {
    if (seconds < 0)
        return QStringLiteral("--:--");
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

class Reporter;

// One port: its session and its outcome. The session keeps the time: the answer and
// stall rules are its own, the same as the window's.
class PortJob {
public:
    PortJob(std::unique_ptr<ModuleSession> session, const QString& device, const PortPlan& plan, Reporter* reporter);
    // The port is opened first for every port, then every operation starts: opening costs
    // about 2 ms a port (the device, its settings, the link thread), so 32 ports opened
    // and started one after another would begin a tenth of a second apart.
    void open();
    void start();
    void interrupt();
    bool done() const { return result_.status >= 0; }

    const PortResult& result() const { return result_; }
    double rate() const { return rate_; }
    qint64 secondsLeft() const { return secondsLeft_; }
    // Records the percentage last reported and returns the one before it.
    int notePercent(int percent) { return std::exchange(lastPercent_, percent); }

private:
    void finish(int status, const QString& message);
    void begin(qint64 total);
    void failed(const Failure& f);
    void transferDone();

    PortPlan plan_;
    Reporter* reporter_;
    std::unique_ptr<ModuleSession> sessionOwner_;
    ModuleSession& session_;
    PortResult result_;
    double rate_ = 0;
    qint64 secondsLeft_ = -1;
    int lastPercent_ = -1;
    QElapsedTimer clock_;
    bool showing_ = false; // the download is done; the show command is on its way
    bool playing_ = false; // the frames are being shown
    int framesShown_ = 0;
};

// Progress and outcomes, as a redrawn bar on a terminal, plain lines elsewhere, or one JSON
// object per line on stdout.
class Reporter {
public:
    Reporter(const Io& io, const PortPlan& plan) : io_(io), plan_(plan) {
        drawClock_.start();
    }
    void setJobs(const std::vector<std::unique_ptr<PortJob>>* jobs) { jobs_ = jobs; }

    void started(PortJob& job) {
        if (plan_.json) {
            json({{"event", "start"},
                  {"port", job.result().port},
                  {"operation", operationName(plan_.op)},
                  {"total", job.result().total}});
        } else if (!io_.errIsTerminal && plan_.op != PortOp::Command && plan_.op != PortOp::Test &&
                   plan_.op != PortOp::Play) {
            line(QStringLiteral("%1: sending %2 bytes").arg(job.result().port).arg(job.result().total));
        }
    }

    void progress(PortJob& job) {
        const int percent = job.result().total > 0 ? int(job.result().bytes * 100 / job.result().total) : 0;
        const int previous = job.notePercent(percent);
        if (plan_.json) {
            if (percent != previous) {
                json({{"event", "progress"},
                      {"port", job.result().port},
                      {"percent", percent},
                      {"sent", job.result().bytes},
                      {"total", job.result().total},
                      {"bytesPerSecond", qRound(job.rate())},
                      {"secondsLeft", job.secondsLeft()}});
            }
        } else if (io_.errIsTerminal) {
            if (drawClock_.elapsed() >= 100 || percent == 100) {
                drawClock_.restart();
                drawBar();
            }
        } else if (percent / 10 != previous / 10 && percent < 100) {
            line(QStringLiteral("%1: %2% (%3 of %4 bytes)")
                     .arg(job.result().port)
                     .arg(percent / 10 * 10)
                     .arg(job.result().bytes)
                     .arg(job.result().total));
        }
    }

    void waiting(PortJob& job) {
        if (plan_.json)
            json({{"event", "waiting"}, {"port", job.result().port}});
        else
            line(QStringLiteral("%1: waiting for the module to give up an interrupted transfer").arg(job.result().port));
    }

    void finished(PortJob& job) {
        const PortResult& r = job.result();
        if (plan_.json) {
            if (r.status == ExitDone) {
                json({{"event", "done"},
                      {"port", r.port},
                      {"operation", operationName(plan_.op)},
                      {"seconds", qRound(r.seconds * 1000) / 1000.0},
                      {"bytes", r.bytes}});
            } else {
                json({{"event", "error"},
                      {"port", r.port},
                      {"status", r.status},
                      {"message", r.message},
                      {"seconds", qRound(r.seconds * 1000) / 1000.0},
                      {"bytes", r.bytes}});
            }
            return;
        }
        if (r.status != ExitDone)
            line(QStringLiteral("panelix-cli: %1: %2").arg(r.port, r.message));
        else if (io_.errIsTerminal && barShown_)
            drawBar();
    }

    void clearBar() {
        if (barShown_) {
            io_.err(QStringLiteral("\r\x1b[K"));
            barShown_ = false;
        }
    }

private:
    void line(const QString& text) {
        clearBar();
        io_.err(text + QLatin1Char('\n'));
    }

    void json(const QJsonObject& object) {
        io_.out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
    }

    void drawBar() {
        qint64 sent = 0;
        qint64 total = 0;
        double rate = 0;
        qint64 left = -1;
        int active = 0;
        for (const auto& job : *jobs_) {
            sent += job->result().bytes;
            total += job->result().total;
            rate += job->rate();
            left = std::max(left, job->secondsLeft());
            active += job->done() ? 0 : 1;
        }
        const int percent = total > 0 ? int(sent * 100 / total) : 0;
        constexpr int Width = 24;
        const int filled = percent * Width / 100;
        QString text = QStringLiteral("\r\x1b[K[") + QString(filled, QLatin1Char('#')) +
                       QString(Width - filled, QLatin1Char('.')) + QStringLiteral("] %1% %2/%3")
                           .arg(percent, 3)
                           .arg(humanBytes(double(sent)), humanBytes(double(total)));
        text += QStringLiteral("  %1/s  %2 left").arg(humanBytes(rate), clockText(left));
        if (jobs_->size() > 1)
            text += QStringLiteral("  %1 of %2 ports busy").arg(active).arg(jobs_->size());
        io_.err(text);
        barShown_ = true;
    }

    const Io& io_;
    const PortPlan& plan_;
    const std::vector<std::unique_ptr<PortJob>>* jobs_ = nullptr;
    QElapsedTimer drawClock_;
    bool barShown_ = false;
};

PortJob::PortJob(std::unique_ptr<ModuleSession> session, const QString& device, const PortPlan& plan, Reporter* reporter)
    : plan_(plan), reporter_(reporter), sessionOwner_(std::move(session)), session_(*sessionOwner_) {
    result_.port = device;
    session_.setAnswerTimeout(plan_.answerMs);
    session_.setStallTimeout(plan_.stallMs);
    const QString seconds = QString::number(plan_.answerMs / 1000.0);
    QObject::connect(&session_, &ModuleSession::progress, [this](const TransferProgress& p) {
        if (done())
            return;
        result_.bytes = p.sent;
        result_.total = p.total;
        rate_ = p.bytesPerSecond;
        secondsLeft_ = p.secondsLeft;
        reporter_->progress(*this);
    });
    QObject::connect(&session_, &ModuleSession::finished, [this](TransferKind, qint32 total) {
        if (done())
            return;
        result_.bytes = total;
        result_.total = total;
        transferDone();
    });
    QObject::connect(&session_, &ModuleSession::failed, [this](const Failure& f) { failed(f); });
    QObject::connect(&session_, &ModuleSession::testAnswered, [this] {
        if (plan_.op == PortOp::Test && !done())
            finish(ExitDone, QStringLiteral("the module answered the connection test"));
    });
    QObject::connect(&session_, &ModuleSession::testUnanswered, [this, seconds] {
        if (plan_.op == PortOp::Test && !done())
            finish(ExitNoAnswer, QStringLiteral("no answer (0x0C) to the connection test within %1 s").arg(seconds));
    });
    QObject::connect(&session_, &ModuleSession::moduleSilent, [this, seconds] {
        if (!done())
            finish(ExitNoAnswer, QStringLiteral("no answer (0xAA) to the download header within %1 s").arg(seconds));
    });
    QObject::connect(&session_, &ModuleSession::waitingForModule, [this] {
        if (!done())
            reporter_->waiting(*this);
    });
    QObject::connect(&session_, &ModuleSession::frameShown, [this](int, int) { ++framesShown_; });
    QObject::connect(&session_, &ModuleSession::playFinished, [this](int shown, bool complete) {
        if (complete && !done())
            finish(ExitDone, plan_.op == PortOp::Play ? QStringLiteral("played %1 frames").arg(shown)
                                                      : QStringLiteral("done, played %1 frames").arg(shown));
    });
    QObject::connect(&session_, &ModuleSession::commandWritten, [this] {
        if (done())
            return;
        if (plan_.op == PortOp::Command) {
            result_.bytes = result_.total;
            finish(ExitDone, QStringLiteral("sent"));
        } else if (showing_) {
            finish(ExitDone, QStringLiteral("done, showing picture %1").arg(plan_.showAfter));
        }
    });
}

void PortJob::transferDone() {
    if (plan_.playAfter) {
        playing_ = true;
        if (Refusal r = session_.play(plan_.play))
            failed(*r);
        return;
    }
    if (plan_.showAfter < 0) {
        finish(ExitDone, QStringLiteral("done"));
        return;
    }
    showing_ = true;
    if (Refusal r = session_.showImage(plan_.showAfter))
        failed(*r);
}

void PortJob::failed(const Failure& f) {
    if (done())
        return;
    if (f.total > 0) {
        // One count for the error line, the table and --json: the bytes the line took,
        // final once the port is closed.
        session_.closePort();
        result_.bytes = f.transfer != TransferKind::None ? session_.lineBytes() : f.sent;
        result_.total = f.total;
    }
    const QString progress = QStringLiteral("after %1 of %2 bytes").arg(result_.bytes).arg(result_.total);
    switch (f.reason) {
    case FailureReason::ModuleError:
        finish(ExitModuleError, QStringLiteral("the module answered 0x55 (error) ") + progress);
        break;
    case FailureReason::PortLost:
        finish(ExitPortLost, f.transfer == TransferKind::None ? QStringLiteral("port lost")
                                                              : QStringLiteral("port lost during the transfer ") + progress);
        break;
    case FailureReason::Stalled:
        finish(ExitNoAnswer, QStringLiteral("transfer stalled: no progress for %1 s ").arg(plan_.stallMs / 1000.0) + progress);
        break;
    case FailureReason::PortNotOpen:
        finish(ExitPortOpen, QStringLiteral("the port is not open"));
        break;
    case FailureReason::RefusedInput:
        finish(ExitBadInput, inputErrorText(f.input));
        break;
    case FailureReason::PortOpenFailed:
        finish(ExitPortOpen, openFailureText(f.openError, f.systemText));
        break;
    case FailureReason::Busy:
    case FailureReason::AlreadyRunning:
    case FailureReason::PortSwitched:
    case FailureReason::Stopped:
        finish(ExitPortLost, QStringLiteral("transfer ended ") + progress);
        break;
    }
}

void PortJob::begin(qint64 total) {
    result_.total = total;
    reporter_->started(*this);
}

void PortJob::open() {
    clock_.start();
    if (!plan_.dataDir.isEmpty() && !session_.setDataDir(plan_.dataDir)) {
        finish(ExitBadInput, inputErrorText(inputError(InputReason::DataDirUnusable, plan_.dataDir)));
        return;
    }
    session_.setDevicePath(1, result_.port);
    if (Refusal r = session_.openPort(1))
        failed(*r);
}

void PortJob::start() {
    if (done())
        return;
    Refusal r;
    switch (plan_.op) {
    case PortOp::Test:
        r = session_.testConnection();
        break;
    case PortOp::Bitmaps:
        if (plan_.entriesAreList) {
            session_.bitmapList().setEntries(plan_.entries);
        } else {
            for (const QString& entry : plan_.entries) {
                InputError error;
                if (!session_.bitmapList().add(entry, &error)) {
                    finish(ExitBadInput, inputErrorText(error));
                    return;
                }
            }
        }
        r = session_.downloadBitmaps();
        break;
    case PortOp::Image:
        r = session_.downloadImage(plan_.bytes);
        break;
    case PortOp::Font:
        r = session_.downloadFontFile(plan_.fontPath);
        break;
    case PortOp::Command:
        r = plan_.command ? plan_.command(session_) : session_.sendCommand(plan_.bytes);
        break;
    case PortOp::Play:
        playing_ = true;
        r = session_.play(plan_.play);
        break;
    }
    if (r) {
        failed(*r);
        return;
    }
    switch (plan_.op) {
    case PortOp::Test:
    case PortOp::Play:
        begin(0);
        break;
    case PortOp::Command:
        begin(plan_.bytes.size());
        break;
    default:
        begin(session_.progressNow().total);
        break;
    }
}

void PortJob::interrupt() {
    if (done())
        return;
    if (playing_) {
        session_.closePort();
        finish(ExitInterrupted, QStringLiteral("interrupted: stopped after %1 frames").arg(framesShown_));
        return;
    }
    const std::optional<Failure> f = session_.stopTransfer();
    // Closed first: the link thread stops, and what the driver held goes out on close.
    session_.closePort();
    if (f) {
        result_.bytes = f->total > 0 ? session_.lineBytes() : f->sent;
        result_.total = f->total;
    }
    finish(ExitInterrupted, QStringLiteral("interrupted: incomplete, %1 of %2 bytes sent").arg(result_.bytes).arg(result_.total));
}

void PortJob::finish(int status, const QString& message) {
    if (done())
        return;
    result_.status = status;
    result_.message = message;
    result_.seconds = double(clock_.elapsed()) / 1000.0;
    session_.closePort();
    reporter_->finished(*this);
}

} // namespace

std::unique_ptr<ModuleSession> newSession(const Io& io) {
    return io.makeSession ? io.makeSession() : std::make_unique<ModuleSession>();
}

bool interruptRequested() {
    return interruptFlag.load() != 0;
}

void clearInterrupt() {
    interruptFlag.store(0);
}

void requestInterrupt() {
    interruptFlag.store(1);
}

int runOnPorts(const QStringList& ports, const PortPlan& plan, const Io& io, QList<PortResult>* results) {
    Reporter reporter(io, plan);
    std::vector<std::unique_ptr<PortJob>> jobs;
    for (const QString& port : ports)
        jobs.push_back(std::make_unique<PortJob>(newSession(io), port, plan, &reporter));
    reporter.setJobs(&jobs);

    QEventLoop loop;
    QTimer watch;
    const auto allDone = [&] {
        return std::all_of(jobs.begin(), jobs.end(), [](const auto& j) { return j->done(); });
    };
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (interruptRequested()) {
            for (auto& job : jobs)
                job->interrupt();
        }
        if (allDone())
            loop.quit();
    });
    // Every port is opened, then every port starts, before the loop runs, so they all go at once.
    for (auto& job : jobs)
        job->open();
    for (auto& job : jobs)
        job->start();
    if (!allDone()) {
        watch.start(20);
        loop.exec();
    }
    reporter.clearBar();

    int worst = ExitDone;
    results->clear();
    for (const auto& job : jobs) {
        results->append(job->result());
        worst = std::max(worst, job->result().status);
    }
    return worst;
}

} // namespace panelix::cli
