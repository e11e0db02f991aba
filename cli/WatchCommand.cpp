// panelix-cli watch: the factory mode.

#include "cli/WatchCommand.h"

#include "bitmap/BitmapDownload.h"
#include "cli/Command.h"
#include "cli/PortRun.h"
#include "cli/Texts.h"
#include "protocol/Module.h"
#include "session/ModuleSession.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace panelix::cli {

namespace {

enum class Step { Test, Font, Image, Show };

// One module being programmed: its session and the steps still to do.
class WatchJob {
public:
    WatchJob(std::unique_ptr<ModuleSession> session, const SerialPortInfo& port, const WatchSettings& settings,
             std::function<void(WatchJob&)> ended)
        : port_(port), ended_(std::move(ended)), sessionOwner_(std::move(session)), session_(*sessionOwner_) {
        if (settings.test || (settings.image.isEmpty() && settings.fontPath.isEmpty()))
            steps_.push_back(Step::Test);
        if (!settings.fontPath.isEmpty())
            steps_.push_back(Step::Font);
        if (!settings.image.isEmpty())
            steps_.push_back(Step::Image);
        if (settings.showAfter >= 0)
            steps_.push_back(Step::Show);
        image_ = settings.image;
        fontPath_ = settings.fontPath;
        showAfter_ = settings.showAfter;
        session_.setAnswerTimeout(settings.answerMs);
        QObject::connect(&session_, &ModuleSession::progress, [this](const TransferProgress& p) { doneBytes_ = stepBase_ + p.sent; });
        QObject::connect(&session_, &ModuleSession::finished, [this](TransferKind, qint32 total) {
            stepBase_ += total;
            doneBytes_ = stepBase_;
            next();
        });
        QObject::connect(&session_, &ModuleSession::failed, [this](const Failure& f) {
            if (f.reason == FailureReason::PortLost)
                end(QStringLiteral("lost"), QStringLiteral("port lost after %1 bytes").arg(doneBytes_), ExitPortLost);
            else if (f.reason == FailureReason::ModuleError)
                end(QStringLiteral("error"), QStringLiteral("the module answered 0x55 (error)"), ExitModuleError);
            else if (f.reason == FailureReason::PortOpenFailed)
                end(QStringLiteral("error"), openFailureText(f.openError, f.systemText), ExitPortOpen);
            else if (f.reason == FailureReason::Stalled)
                end(QStringLiteral("error"), QStringLiteral("transfer stalled"), ExitNoAnswer);
            else
                end(QStringLiteral("error"), QStringLiteral("transfer ended"), ExitPortLost);
        });
        QObject::connect(&session_, &ModuleSession::testAnswered, [this] {
            if (current_ == Step::Test)
                next();
        });
        QObject::connect(&session_, &ModuleSession::testUnanswered, [this] {
            end(QStringLiteral("error"), QStringLiteral("no answer (0x0C) to the connection test"), ExitNoAnswer);
        });
        QObject::connect(&session_, &ModuleSession::moduleSilent, [this] {
            end(QStringLiteral("error"), QStringLiteral("no answer (0xAA) to the download header"), ExitNoAnswer);
        });
        QObject::connect(&session_, &ModuleSession::commandWritten, [this] {
            if (current_ == Step::Show)
                next();
        });
    }

    void start() {
        clock_.start();
        session_.setDevicePath(1, port_.path);
        if (Refusal r = session_.openPort(1)) {
            end(QStringLiteral("error"), openFailureText(r->openError, r->systemText), ExitPortOpen);
            return;
        }
        next();
    }

    // The adapter was pulled while this job ran.
    void lost() { end(QStringLiteral("lost"), QStringLiteral("adapter pulled after %1 bytes").arg(doneBytes_), ExitPortLost); }
    void interrupt() { end(QStringLiteral("interrupted"), QStringLiteral("interrupted after %1 bytes").arg(doneBytes_), ExitInterrupted); }

    bool ended() const { return status_ >= 0; }
    const SerialPortInfo& port() const { return port_; }
    QString outcome() const { return outcome_; }
    QString message() const { return message_; }
    int status() const { return status_; }
    qint64 bytes() const { return doneBytes_; }
    double seconds() const { return seconds_; }

private:
    void next() {
        if (ended())
            return;
        if (steps_.empty()) {
            end(QStringLiteral("done"), QStringLiteral("done"), ExitDone);
            return;
        }
        current_ = steps_.front();
        steps_.erase(steps_.begin());
        Refusal r;
        switch (current_) {
        case Step::Test: r = session_.testConnection(); break;
        case Step::Font: r = session_.downloadFontFile(fontPath_); break;
        case Step::Image: r = session_.downloadImage(image_); break;
        case Step::Show: r = session_.showImage(showAfter_); break;
        }
        if (r)
            end(QStringLiteral("error"), r->reason == FailureReason::RefusedInput ? inputErrorText(r->input)
                                                                                   : QStringLiteral("refused"),
                ExitBadInput);
    }

    void end(const QString& outcome, const QString& message, int status) {
        if (ended())
            return;
        status_ = status;
        outcome_ = outcome;
        message_ = message;
        seconds_ = double(clock_.elapsed()) / 1000.0;
        session_.stopTransfer();
        session_.closePort();
        ended_(*this);
    }

    SerialPortInfo port_;
    std::function<void(WatchJob&)> ended_;
    std::vector<Step> steps_;
    Step current_ = Step::Test;
    QByteArray image_;
    QString fontPath_;
    int showAfter_ = -1;
    std::unique_ptr<ModuleSession> sessionOwner_;
    ModuleSession& session_;
    QElapsedTimer clock_;
    qint64 stepBase_ = 0;
    qint64 doneBytes_ = 0;
    int status_ = -1;
    QString outcome_;
    QString message_;
    double seconds_ = 0;
};

QString csvField(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')))
        return s;
    QString q = s;
    q.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

int runWatch(const WatchSettings& settings, const PortSource& source, const Io& io) {
    WatchPlanner planner(source, settings.filter);
    std::vector<std::unique_ptr<WatchJob>> jobs;     // running
    std::vector<std::unique_ptr<WatchJob>> finished; // ended, deleted outside their session's signals
    int results = 0;
    int worst = ExitDone;

    QFile log(settings.logPath);
    if (!settings.logPath.isEmpty()) {
        if (!log.open(QIODevice::Append | QIODevice::Text)) {
            io.err(QStringLiteral("panelix-cli: cannot write the log: %1\n").arg(settings.logPath));
            return ExitBadInput;
        }
        if (log.size() == 0 && !settings.json)
            log.write("time,port,serial,bytes,seconds,outcome\n");
        log.flush();
    }

    const auto report = [&](WatchJob& job) {
        const QString time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        const QString name = job.port().identity();
        if (settings.json) {
            const QJsonObject o{{"event", "result"},       {"time", time},
                                {"port", name},            {"serial", job.port().serialNumber},
                                {"bytes", job.bytes()},    {"seconds", qRound(job.seconds() * 1000) / 1000.0},
                                {"outcome", job.outcome()}, {"message", job.message()}};
            const QString line = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
            io.out(line);
            if (log.isOpen())
                log.write(line.toUtf8());
        } else {
            QString text = QStringLiteral("%1: %2").arg(name, job.outcome());
            if (job.outcome() != QStringLiteral("done"))
                text += QStringLiteral(" (%1)").arg(job.message());
            io.out(text + QStringLiteral(", %1 bytes in %2 s\n").arg(job.bytes()).arg(job.seconds(), 0, 'f', 1));
            if (log.isOpen()) {
                log.write(QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                              .arg(time, csvField(name), csvField(job.port().serialNumber))
                              .arg(job.bytes())
                              .arg(job.seconds(), 0, 'f', 3)
                              .arg(job.outcome())
                              .toUtf8());
            }
        }
        if (log.isOpen())
            log.flush();
    };

    const auto ended = [&](WatchJob& job) {
        ++results;
        worst = std::max(worst, job.status());
        planner.finished(job.port().identity());
        report(job);
    };

    if (!settings.json)
        io.err(QStringLiteral("panelix-cli: waiting for serial adapters (Ctrl+C ends)\n"));

    QEventLoop loop;
    QTimer tick;
    bool stopping = false;
    const auto reap = [&] {
        for (auto it = jobs.begin(); it != jobs.end();) {
            if ((*it)->ended()) {
                finished.push_back(std::move(*it));
                it = jobs.erase(it);
            } else {
                ++it;
            }
        }
    };
    const auto onTick = [&] {
        finished.clear(); // ended at least one tick ago: no signal of theirs is running
        if (interruptRequested() && !stopping) {
            stopping = true;
            for (auto& job : jobs)
                job->interrupt();
            reap();
            loop.quit();
            return;
        }
        if (settings.count > 0 && results >= settings.count) {
            reap();
            if (jobs.empty()) {
                loop.quit();
                return;
            }
        }
        for (const WatchStep& step : planner.poll()) {
            if (step.action == WatchAction::Lost) {
                for (auto& job : jobs) {
                    if (!job->ended() && job->port().identity() == step.port.identity())
                        job->lost();
                }
                continue;
            }
            if (settings.count > 0 && results + int(jobs.size()) >= settings.count) {
                planner.finished(step.port.identity()); // not ours to program in this run
                continue;
            }
            if (!settings.json)
                io.err(QStringLiteral("%1: plugged in, programming\n").arg(step.port.identity()));
            else
                io.out(QString::fromUtf8(QJsonDocument(QJsonObject{{"event", "start"}, {"port", step.port.identity()}})
                                             .toJson(QJsonDocument::Compact)) +
                       QLatin1Char('\n'));
            jobs.push_back(std::make_unique<WatchJob>(newSession(io), step.port, settings, ended));
            jobs.back()->start();
        }
        reap();
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, onTick);
    tick.start(settings.pollMs);
    QTimer::singleShot(0, &loop, onTick);
    loop.exec();
    jobs.clear();
    finished.clear();
    if (stopping)
        return ExitInterrupted;
    return worst;
}

int Command::cmdWatch() {
    WatchSettings s;
    if (parser_.isSet(opt_.image)) {
        if (!args_.isEmpty() || parser_.isSet(opt_.list))
            return usage(QStringLiteral("give one of --image, --list or pictures"));
        const QString path = parser_.value(opt_.image);
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return bad(QStringLiteral("cannot open download image: %1").arg(path));
        if (file.size() > module::BitmapImageSize)
            return bad(QStringLiteral("not a download image (larger than %1 bytes): %2").arg(module::BitmapImageSize).arg(path));
        s.image = file.readAll();
        const BitmapDownloadPlan check = planBitmapDownload(s.image);
        if (!check.accepted) {
            InputError error = check.error;
            error.path = path;
            return bad(error);
        }
    } else if (!args_.isEmpty() || parser_.isSet(opt_.list)) {
        QStringList entries;
        bool fromList = false;
        int status = ExitDone;
        if (!collectEntries(args_, &entries, &fromList, &status))
            return status;
        const QString dir = workDir();
        if (dir.isEmpty())
            return bad(QStringLiteral("no temporary directory for the image"));
        const PackedList packed = ModuleSession::packList(entries, QDir(dir).filePath(QStringLiteral("file.add")));
        if (!packed.built())
            return bad(packed.error);
        if (!packed.plan.accepted)
            return bad(packed.plan.error);
        s.image = packed.image;
    }
    if (parser_.isSet(opt_.font)) {
        s.fontPath = parser_.value(opt_.font);
        QFile probe(s.fontPath);
        if (!QFileInfo(s.fontPath).isFile() || !probe.open(QIODevice::ReadOnly))
            return bad(inputError(InputReason::FontMissing, s.fontPath));
    }
    s.test = parser_.isSet(opt_.test);
    if (parser_.isSet(opt_.show) && !parseNumber(parser_.value(opt_.show), 0, 126, &s.showAfter))
        return usage(QStringLiteral("--show must be a stored picture's number 0..126, not '%1'").arg(parser_.value(opt_.show)));
    s.filter.pattern = parser_.value(opt_.match);
    if (parser_.isSet(opt_.usb)) {
        s.filter.byUsb = true;
        if (!WatchFilter::parseUsbIds(parser_.value(opt_.usb), &s.filter.vendorId, &s.filter.productId))
            return usage(QStringLiteral("--usb must be VID:PID in hexadecimal, e.g. 0403:6001, not '%1'").arg(parser_.value(opt_.usb)));
    }
    if (parser_.isSet(opt_.count) && !parseNumber(parser_.value(opt_.count), 1, 1000000, &s.count))
        return usage(QStringLiteral("--count must be a number of modules 1..1000000, not '%1'").arg(parser_.value(opt_.count)));
    if (parser_.isSet(opt_.timeout)) {
        bool ok = false;
        const double t = parser_.value(opt_.timeout).toDouble(&ok);
        if (!ok || !(t > 0 && t <= 3600))
            return usage(QStringLiteral("--timeout must be a number of seconds above 0, not '%1'").arg(parser_.value(opt_.timeout)));
        s.answerMs = int(t * 1000);
    }
    s.logPath = parser_.value(opt_.log);
    s.json = json();
    return runWatch(s, [] { return systemSerialPorts(); }, io_);
}

} // namespace panelix::cli
