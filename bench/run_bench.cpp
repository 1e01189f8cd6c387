// Measures a query run of the main window against the client library and the server's own
// command-line client, with a large result (by default every row of surfaceshort). Each round
// runs, in this order:
//
//   - the raw client loop: connect, the statement, mysql_use_result, every field of every row
//     touched, disconnect;
//   - the command-line client with --quick --batch, its output to /dev/null and to a file;
//   - the main window, offscreen: StartRun to RunFinished for the same statement, filling the
//     grid and the log memo, with the peak resident size of the process during the fill, the
//     longest event-loop stall (the longest gap between two ticks of a 5 ms timer on the main
//     thread) and the time until a first record is painted in the grid;
//   - the grid's exports: "Save to CSV..." (to a file in the folder given) and both clipboard
//     copies, timed as the buttons run them; then Ctrl+A and Ctrl+C in the grid, and cells read
//     through the grid's accessibility interface;
//   - one counter reading;
//   - the window's fill again with plain statements only (text protocol), where the program
//     otherwise reads rows through prepared statements (binary protocol); and, for the
//     server's side of that, a raw loop over the prepared statement's rows.
//
// Rounds take turns, so a slow moment of the machine spreads over all the things measured. The
// table gives median, lowest and highest of the rounds and the same for each value divided by
// the raw client loop's time of its own round.
//
//   run_bench [--rounds N] [--socket PATH] [--client PATH] [--folder DIR] [--statement SQL]
//             [--reuse-window 1] [--trace-stalls 1] [--server-pid PID]
//
// Each round opens a new main window, so each measures a first query whose grid grows from its
// initial rows; with --reuse-window 1 the rounds run in one window, the later ones refilling
// the rows of the first.
// With the server's process id (--server-pid, or ORVEX_DB_PID as scripts/dbserver.sh writes it
// to its env file) the processor time of the server is given too.
//
// With --trace-stalls 1 each round also lists the kinds of events (receiver class and event
// type) whose delivery on the main thread took longest during the fill, with their count and
// total time: where the stalls come from.
//
// The server is reached as the program reaches it: host "localhost", user root, password qxzv,
// database orvex, over the socket that MYSQL_UNIX_PORT (or --socket) names. bench/run.sh starts
// a private server, loads the sample database and runs this program.
#include "app/gridexport.h"
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/logview.h"
#include "app/orvexapplication.h"
#include "app/orvexdbmain.h"
#include "common/messageseam.h"
#include "db/clientlibrary.h"
#include "run/queryworker.h"
#include "run/servercounters.h"
#include "run/serverreading.h"
#include "store/memorybudget.h"
#include "store/resultfolder.h"
#include "tests/processlimits.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <mysql.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double millisecondsSince(Clock::time_point start)
{
    return millisecondsBetween(start, Clock::now());
}

struct Options
{
    int rounds = 5;
    bool traceStalls = false;
    bool reuseWindow = false;
    int serverPid = 0;
    std::string socket;
    std::string client;
    std::string folder = "/tmp";
    std::string statement = "SELECT * FROM surfaceshort";
    std::string user = "root";
    std::string password = "qxzv";
    std::string database = "orvex";
    // The large round instead of the others: this many records from the server's sequence.
    long long large = 0;
};

[[noreturn]] void usage(const char *message)
{
    std::fprintf(stderr,
                 "run_bench: %s\nusage: run_bench [--rounds N] [--socket PATH] [--client PATH] "
                 "[--folder DIR] [--statement SQL]\n",
                 message);
    std::exit(2);
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            usage(("no value for " + name).c_str());
        const std::string value = argv[++i];
        if (name == "--rounds")
            options.rounds = std::max(1, std::atoi(value.c_str()));
        else if (name == "--socket")
            options.socket = value;
        else if (name == "--client")
            options.client = value;
        else if (name == "--folder")
            options.folder = value;
        else if (name == "--statement")
            options.statement = value;
        else if (name == "--server-pid")
            options.serverPid = std::atoi(value.c_str());
        else if (name == "--reuse-window")
            options.reuseWindow = value != "0";
        else if (name == "--trace-stalls")
            options.traceStalls = value != "0";
        else if (name == "--large")
            options.large = std::atoll(value.c_str());
        else
            usage(("unknown option " + name).c_str());
    }
    if (options.socket.empty()) {
        if (const char *fromEnvironment = std::getenv("MYSQL_UNIX_PORT"))
            options.socket = fromEnvironment;
    }
    if (options.socket.empty())
        usage("no server socket: give --socket or set MYSQL_UNIX_PORT");
    if (options.serverPid == 0) {
        if (const char *fromEnvironment = std::getenv("ORVEX_DB_PID"))
            options.serverPid = std::atoi(fromEnvironment);
    }
    if (options.client.empty()) {
        for (const char *folder : {"/usr/bin", "/usr/local/bin", "/usr/sbin"}) {
            for (const char *name : {"mariadb", "mysql"}) {
                const std::string path = std::string(folder) + "/" + name;
                if (options.client.empty() && ::access(path.c_str(), X_OK) == 0)
                    options.client = path;
            }
        }
    }
    if (options.client.empty())
        usage("no command-line client found: give --client");
    return options;
}

// ---- The process's memory, as the kernel counts it ----

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Sets the peak resident size (VmHWM) back to the present resident size.
void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        std::fprintf(stderr, "run_bench: cannot reset the peak resident size\n");
}

// ---- Processor time ----

double rusageMilliseconds(int who)
{
    rusage usage {};
    ::getrusage(who, &usage);
    const auto ms = [](const timeval &t) {
        return t.tv_sec * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The processor time the server process has used so far, or -1 when its id is not known.
double serverMilliseconds(int pid)
{
    if (pid <= 0)
        return -1;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// Processor time of the server, this process and its main thread between two readings.
struct Processors
{
    double server;
    double process;
    double mainThread;

    static Processors now(int serverPid)
    {
        return {serverMilliseconds(serverPid), rusageMilliseconds(RUSAGE_SELF),
                rusageMilliseconds(RUSAGE_THREAD)};
    }
    Processors since(const Processors &start) const
    {
        return {server < 0 ? -1 : server - start.server, process - start.process,
                mainThread - start.mainThread};
    }
};

// ---- The raw client loop ----

struct RawLoop
{
    double total = 0; // connect to disconnect
    double firstRow = 0; // connect to the first row in hand
    Processors used {};
    long long rows = 0;
    long long bytes = 0;
};

RawLoop rawClientLoop(const Options &options)
{
    RawLoop measured;
    const Processors processors = Processors::now(options.serverPid);
    const Clock::time_point start = Clock::now();
    MYSQL *mysql = mysql_init(nullptr);
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(mysql, nullptr, options.user.c_str(), options.password.c_str(),
                            options.database.c_str(), 0, options.socket.c_str(), 0)) {
        std::fprintf(stderr, "run_bench: cannot connect: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    if (mysql_real_query(mysql, options.statement.data(), options.statement.size()) != 0) {
        std::fprintf(stderr, "run_bench: the statement failed: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    MYSQL_RES *result = mysql_use_result(mysql);
    const unsigned columns = mysql_num_fields(result);
    unsigned long long checksum = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        if (measured.rows == 0)
            measured.firstRow = millisecondsSince(start);
        const unsigned long *lengths = mysql_fetch_lengths(result);
        for (unsigned i = 0; i < columns; ++i) {
            measured.bytes += static_cast<long long>(lengths[i]);
            if (row[i] && lengths[i] > 0)
                checksum += static_cast<unsigned char>(row[i][lengths[i] - 1]);
        }
        ++measured.rows;
    }
    if (mysql_errno(mysql) != 0) {
        std::fprintf(stderr, "run_bench: reading the rows failed: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    mysql_free_result(result);
    mysql_close(mysql);
    measured.total = millisecondsSince(start);
    measured.used = Processors::now(options.serverPid).since(processors);
    if (checksum == 0 && measured.bytes > 0)
        std::fprintf(stderr, "run_bench: every field ends in a NUL byte?\n");
    return measured;
}

// The same statement prepared, its rows read through the binary protocol with the client
// library's result callback, each value skipped (a text's last byte touched): what the server
// and the connection cost on the prepared way, before any value is written as text.
struct SkipState
{
    MYSQL_FIELD *fields = nullptr;
    unsigned long long checksum = 0;
};

void skipValue(void *data, unsigned int column, unsigned char **row)
{
    auto *state = static_cast<SkipState *>(data);
    if (!row)
        return;
    unsigned char *at = *row;
    switch (state->fields[column].type) {
    case MYSQL_TYPE_TINY:
        at += 1;
        break;
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_YEAR:
        at += 2;
        break;
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_FLOAT:
        at += 4;
        break;
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_DOUBLE:
        at += 8;
        break;
    default: {
        unsigned long long length = *at++;
        if (length == 252) {
            length = at[0] | (at[1] << 8);
            at += 2;
        } else if (length == 253) {
            length = at[0] | (at[1] << 8) | (at[2] << 16);
            at += 3;
        } else if (length == 254) {
            length = 0;
            for (int i = 7; i >= 0; --i)
                length = (length << 8) | at[i];
            at += 8;
        }
        if (length > 0)
            state->checksum += at[length - 1];
        at += length;
    }
    }
    *row = at;
}

// What the program's choice of the way to read a result costs before any row: the statement
// prepared, its columns described, the prepared statement closed, on a connection already open;
// the median of 21 tries, in ms.
double preparedProbe(const Options &options)
{
    MYSQL *mysql = mysql_init(nullptr);
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(mysql, nullptr, options.user.c_str(), options.password.c_str(),
                            options.database.c_str(), 0, options.socket.c_str(), 0)) {
        std::fprintf(stderr, "run_bench: cannot connect: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    std::vector<double> tries;
    for (int i = 0; i < 21; ++i) {
        const Clock::time_point start = Clock::now();
        MYSQL_STMT *statement = mysql_stmt_init(mysql);
        if (mysql_stmt_prepare(statement, options.statement.data(), options.statement.size())
            == 0) {
            if (MYSQL_RES *description = mysql_stmt_result_metadata(statement))
                mysql_free_result(description);
        }
        mysql_stmt_close(statement);
        tries.push_back(millisecondsSince(start));
    }
    mysql_close(mysql);
    std::sort(tries.begin(), tries.end());
    return tries[tries.size() / 2];
}

double rawPreparedLoop(const Options &options)
{
    const Clock::time_point start = Clock::now();
    MYSQL *mysql = mysql_init(nullptr);
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(mysql, nullptr, options.user.c_str(), options.password.c_str(),
                            options.database.c_str(), 0, options.socket.c_str(), 0)) {
        std::fprintf(stderr, "run_bench: cannot connect: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    MYSQL_STMT *statement = mysql_stmt_init(mysql);
    if (mysql_stmt_prepare(statement, options.statement.data(), options.statement.size()) != 0) {
        std::fprintf(stderr, "run_bench: cannot prepare: %s\n", mysql_stmt_error(statement));
        std::exit(1);
    }
    MYSQL_RES *description = mysql_stmt_result_metadata(statement);
    SkipState state;
    state.fields = mysql_fetch_fields(description);
    mysql_stmt_attr_set(statement, STMT_ATTR_CB_USER_DATA, &state);
    mysql_stmt_attr_set(statement, STMT_ATTR_CB_RESULT, reinterpret_cast<const void *>(&skipValue));
    if (mysql_stmt_execute(statement) != 0) {
        std::fprintf(stderr, "run_bench: cannot execute: %s\n", mysql_stmt_error(statement));
        std::exit(1);
    }
    int status;
    while ((status = mysql_stmt_fetch(statement)) == 0) { }
    if (status != MYSQL_NO_DATA) {
        std::fprintf(stderr, "run_bench: reading the rows failed: %s\n", mysql_error(mysql));
        std::exit(1);
    }
    mysql_free_result(description);
    mysql_stmt_close(statement);
    mysql_close(mysql);
    return millisecondsSince(start);
}

// ---- The command-line client ----

// Runs the client on the statement with its output going to the file; returns the time from
// the start of the process to its end.
double commandLineClient(const Options &options, const std::string &outputPath)
{
    const std::string socket = "--socket=" + options.socket;
    const std::string user = "--user=" + options.user;
    const std::string password = "--password=" + options.password;
    const std::string database = "--database=" + options.database;
    std::vector<const char *> args = {options.client.c_str(),
                                      "--no-defaults",
                                      socket.c_str(),
                                      user.c_str(),
                                      password.c_str(),
                                      database.c_str(),
                                      "--default-character-set=utf8mb4",
                                      "--quick",
                                      "--batch",
                                      "-e",
                                      options.statement.c_str(),
                                      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, options.client.c_str(), &actions, nullptr,
                    const_cast<char *const *>(args.data()), environ)
        != 0) {
        std::fprintf(stderr, "run_bench: cannot start %s\n", options.client.c_str());
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double elapsed = millisecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "run_bench: the command-line client failed\n");
        std::exit(1);
    }
    return elapsed;
}

// ---- The main window ----

// The application object, timing every event it delivers on the main thread while tracing is
// on, so the longest deliveries can be listed.
class TracingApplication : public OrvexApplication
{
public:
    using OrvexApplication::OrvexApplication;

    // The deliveries of one kind of event to one class of receiver.
    struct Deliveries
    {
        std::string what;
        int count = 0;
        double total = 0;
        double longest = 0;
    };

    // One delivery of an event straight from the event loop, not from inside another one.
    struct Delivery
    {
        Clock::time_point start;
        double milliseconds;
        std::string what;
    };

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!tracing)
            return OrvexApplication::notify(receiver, event);
        const Clock::time_point start = Clock::now();
        const int type = event->type();
        const char *className = receiver->metaObject()->className();
        ++depth;
        bool result = false;
        try {
            result = OrvexApplication::notify(receiver, event);
        } catch (...) {
            --depth;
            throw;
        }
        --depth;
        const double elapsed = millisecondsSince(start);
        if (depth == 0) {
            outermost.push_back(
                {start, elapsed, std::string(className) + " event " + std::to_string(type)});
        }
        Deliveries &kind = deliveries[std::string(className) + " event " + std::to_string(type)];
        ++kind.count;
        kind.total += elapsed;
        kind.longest = std::max(kind.longest, elapsed);
        return result;
    }

    void startTracing()
    {
        deliveries.clear();
        outermost.clear();
        tracing = true;
    }

    // The outermost deliveries that ran between the two time points, at least partly.
    std::vector<Delivery> deliveredBetween(Clock::time_point from, Clock::time_point to) const
    {
        std::vector<Delivery> found;
        for (const Delivery &delivery : outermost) {
            const auto end = delivery.start
                + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double, std::milli>(delivery.milliseconds));
            if (end > from && delivery.start < to)
                found.push_back(delivery);
        }
        return found;
    }
    // The kinds of deliveries since startTracing with the longest single ones, longest first;
    // a delivery inside another counts in both.
    std::vector<Deliveries> stopTracing()
    {
        tracing = false;
        std::vector<Deliveries> kinds;
        for (auto &[what, kind] : deliveries) {
            kind.what = what;
            kinds.push_back(kind);
        }
        std::sort(kinds.begin(), kinds.end(),
                  [](const Deliveries &a, const Deliveries &b) { return a.longest > b.longest; });
        if (kinds.size() > 10)
            kinds.resize(10);
        return kinds;
    }

private:
    bool tracing = false;
    int depth = 0;
    std::map<std::string, Deliveries> deliveries;
    std::vector<Delivery> outermost;
};

// Message boxes would stop a measurement: every one is written out and counted.
class ReportingMessages : public MessageSeam
{
public:
    void information(const QString &text) override { report("information", text); }
    bool warning(const QString &text) override
    {
        report("warning", text);
        return true;
    }
    bool confirm(const QString &text) override
    {
        report("confirm", text);
        return true;
    }
    void plain(const QString &text) override { report("plain", text); }
    void error(const QString &, const QString &text) override { report("error", text); }

    int count = 0;

private:
    void report(const char *kind, const QString &text)
    {
        ++count;
        std::fprintf(stderr, "run_bench: %s box: %s\n", kind, qPrintable(text));
    }
};

// The save dialog's answer: always the same path.
class FixedSavePath : public SaveDialogSeam
{
public:
    explicit FixedSavePath(QString path)
        : path(std::move(path))
    { }
    std::optional<QString> chooseSavePath() override { return path; }

private:
    QString path;
};

// Watches a run from StartRun to its end: the first paint of the grid with records in it, the
// end of the run (RunFinished enables the Search button again) and the gaps between the probe
// timer's ticks.
class RunWatcher : public QObject
{
public:
    // gridViewport: where the grid's cells are painted.
    RunWatcher(TForm1 &form, QWidget *gridViewport)
        : form(form)
        , gridViewport(gridViewport)
    {
        gridViewport->installEventFilter(this);
        form.SearchButton->installEventFilter(this);
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(5);
        connect(&probe, &QTimer::timeout, this, [this] { tick(); });
    }

    struct Measured
    {
        double total = 0;
        double firstRowOnScreen = -1;
        double longestStall = 0;
        Clock::time_point start;
        Clock::time_point stallFrom;
        Clock::time_point stallTo;
        long long records = 0;
    };

    Measured run()
    {
        Measured measured;
        this->measured = &measured;
        finished = false;
        QEventLoop loop;
        quitLoop = &loop;
        QTimer::singleShot(0, this, [this] {
            start = Clock::now();
            this->measured->start = start;
            lastTick = start;
            probe.start();
            form.StartRun();
        });
        loop.exec();
        probe.stop();
        measured.records = form.gridModel->store().recordCount();
        this->measured = nullptr;
        quitLoop = nullptr;
        return measured;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!measured)
            return false;
        if (watched == gridViewport && event->type() == QEvent::Paint
            && measured->firstRowOnScreen < 0 && form.gridModel->store().recordCount() > 0) {
            measured->firstRowOnScreen = millisecondsSince(start);
        } else if (watched == form.SearchButton && event->type() == QEvent::EnabledChange
                   && form.SearchButton->isEnabled() && !finished) {
            finished = true;
            measured->total = millisecondsSince(start);
            tick();
            // The loop ends once the window's own handling of the end is through.
            QTimer::singleShot(0, quitLoop, &QEventLoop::quit);
        }
        return false;
    }

private:
    void tick()
    {
        const Clock::time_point now = Clock::now();
        if (millisecondsBetween(lastTick, now) > measured->longestStall) {
            measured->longestStall = millisecondsBetween(lastTick, now);
            measured->stallFrom = lastTick;
            measured->stallTo = now;
        }
        lastTick = now;
    }

    TForm1 &form;
    QWidget *gridViewport;
    QTimer probe;
    Measured *measured = nullptr;
    QEventLoop *quitLoop = nullptr;
    bool finished = false;
    Clock::time_point start;
    Clock::time_point lastTick;
};

long long fileSize(const std::string &path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// ---- The table ----

struct Row
{
    std::string name;
    std::string unit;
    bool ratio; // divided by the raw client loop of its round
    std::vector<double> values;
};

class Table
{
public:
    void add(const std::string &name, const std::string &unit, bool ratio, double value)
    {
        auto found = std::find_if(rows.begin(), rows.end(),
                                  [&](const Row &row) { return row.name == name; });
        if (found == rows.end()) {
            rows.push_back({name, unit, ratio, {}});
            found = rows.end() - 1;
        }
        found->values.push_back(value);
    }

    const Row *find(const std::string &name) const
    {
        auto found = std::find_if(rows.begin(), rows.end(),
                                  [&](const Row &row) { return row.name == name; });
        return found == rows.end() ? nullptr : &*found;
    }

    static double median(std::vector<double> values)
    {
        if (values.empty())
            return 0;
        std::sort(values.begin(), values.end());
        const std::size_t middle = values.size() / 2;
        return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    // Per round: the row's value divided by the other row's value of the same round.
    std::vector<double> ratios(const std::string &name, const std::string &base) const
    {
        std::vector<double> result;
        const Row *row = find(name);
        const Row *by = find(base);
        if (!row || !by)
            return result;
        for (std::size_t i = 0; i < row->values.size() && i < by->values.size(); ++i)
            result.push_back(by->values[i] > 0 ? row->values[i] / by->values[i] : 0);
        return result;
    }

    void print(const std::string &base) const
    {
        std::printf("| measured | unit | median | min | max | x raw loop: median | min | max |\n");
        std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
        for (const Row &row : rows) {
            const auto [low, high] = std::minmax_element(row.values.begin(), row.values.end());
            std::printf("| %s | %s | %s | %s | %s |", row.name.c_str(), row.unit.c_str(),
                        number(median(row.values)).c_str(), number(*low).c_str(),
                        number(*high).c_str());
            if (row.ratio) {
                const std::vector<double> r = ratios(row.name, base);
                const auto [rlow, rhigh] = std::minmax_element(r.begin(), r.end());
                std::printf(" %.2f | %.2f | %.2f |\n", median(r), *rlow, *rhigh);
            } else {
                std::printf("  |  |  |\n");
            }
        }
    }

private:
    static std::string number(double value)
    {
        char text[64];
        if (value != 0 && std::abs(value) < 10)
            std::snprintf(text, sizeof text, "%.2f", value);
        else
            std::snprintf(text, sizeof text, "%.0f", value);
        return text;
    }

    std::vector<Row> rows;
};

const char *const rawLoop = "raw client loop (use_result, every field)";

// A figure against its limit, from the medians of the rounds.
struct Target
{
    std::string what;
    double value;
    double limit;
};

void printTargets(const std::vector<Target> &targets)
{
    std::printf("\n| target (medians) | measured | limit | met |\n|---|---:|---:|---|\n");
    for (const Target &target : targets) {
        std::printf("| %s | %.2f | %.2f | %s |\n", target.what.c_str(), target.value, target.limit,
                    target.value <= target.limit ? "yes" : "no");
    }
}

// ---- The large round ----

// A statement shaped like surfaceshort's rows (25 columns, the same kinds of values and about
// their length) over the server's sequence table, so a result of any size needs no loaded
// table.
std::string largeStatement(long long records)
{
    return "SELECT seq AS id, 1973 + seq % 50 AS year, 1 + seq % 12 AS month, 1 + seq % 28 AS day,"
           " seq % 24 AS hour, 'SWF' AS faa,"
           " CONCAT('K', CHAR(65 + seq % 26 USING ascii), CHAR(65 + seq DIV 26 % 26 USING ascii),"
           " 'F') AS icao, LPAD(seq % 99991, 5, '0') AS wmo,"
           " CAST(30 + seq % 2000 / 100 AS DECIMAL(7,4)) AS lat,"
           " CAST(-120 + seq % 5000 / 100 AS DECIMAL(7,4)) AS lon,"
           " CAST(seq % 1000 / 10 AS DECIMAL(4,1)) AS temp,"
           " CAST(seq % 700 / 10 AS DECIMAL(4,1)) AS dewpt,"
           " CAST(seq % 1000 / 10 AS DECIMAL(4,1)) AS relh,"
           " CAST(seq % 1100 / 10 AS DECIMAL(4,1)) AS feel, seq % 360 AS wdir, seq % 40 AS wspd,"
           " IF(seq % 7 = 0, seq % 50, NULL) AS gust,"
           " CAST(seq % 1000 / 100 AS DECIMAL(4,2)) AS vis,"
           " CAST(29 + seq % 200 / 100 AS DECIMAL(4,2)) AS alti,"
           " CAST(990 + seq % 400 / 10 AS DECIMAL(5,1)) AS slp,"
           " CAST(seq % 50 / 100 AS DECIMAL(4,2)) AS p01i,"
           " ELT(1 + seq % 5, 'CLR', 'FEW', 'SCT', 'BKN', 'OVC') AS skyc,"
           " seq % 250 * 100 AS skyl, seq % 300 * 100 AS ceil,"
           " IF(seq % 11 = 0, '-RA BR', '') AS wxcodes"
           " FROM seq_1_to_"
        + std::to_string(records);
}

// Bytes of disk the files in the folder take.
double folderDiskBytes(const QString &path)
{
    double total = 0;
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(file.absoluteFilePath()).constData(), &info) == 0)
            total += static_cast<double>(info.st_blocks) * 512;
    }
    return total;
}

// The memory limit of the process's cgroup, 0 when none is set (version 1 or 2).
double cgroupLimitBytes()
{
    QFile groups(QStringLiteral("/proc/self/cgroup"));
    if (!groups.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : groups.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3)
            continue;
        QString file;
        if (parts[1] == "memory")
            file = QStringLiteral("/sys/fs/cgroup/memory") + QString::fromUtf8(parts[2])
                + QStringLiteral("/memory.limit_in_bytes");
        else if (parts[0] == "0" && parts[1].isEmpty())
            file = QStringLiteral("/sys/fs/cgroup") + QString::fromUtf8(parts[2])
                + QStringLiteral("/memory.max");
        else
            continue;
        QFile limit(file);
        if (!limit.open(QIODevice::ReadOnly))
            continue;
        const double value = limit.readAll().trimmed().toDouble();
        if (value > 0 && value < 1e18)
            return value;
    }
    return 0;
}

// The large round: the raw client loop, the client's dump to a file, the program's fill of
// grid and log with its peak anonymous memory, the grid scrolled to the last record, and Save
// to CSV, for a result of options.large records.
int largeRounds(Options options, ReportingMessages &messages, TracingApplication &app)
{
    options.statement = largeStatement(options.large);
    const double limit = cgroupLimitBytes();
    std::printf(
        "large round: %lld records from the server's sequence table; %s\n\n", options.large,
        limit > 0
            ? ("in a memory cgroup of " + std::to_string(long(limit / 1048576)) + " MiB").c_str()
            : "in no memory cgroup (none could be made, or none was asked for)");
    const std::string savePath = options.folder + "/run_bench_large.csv";
    const std::string clientFile = options.folder + "/run_bench_large_client.tsv";
    Table table;
    for (int round = 1; round <= options.rounds; ++round) {
        ::sync();
        const RawLoop raw = rawClientLoop(options);
        table.add(rawLoop, "ms", true, raw.total);
        table.add("client --quick --batch > file", "ms", true,
                  commandLineClient(options, clientFile));
        ::unlink(clientFile.c_str());

        auto form = std::make_unique<TForm1>(messages);
        form->saveDialogs = std::make_unique<FixedSavePath>(QString::fromStdString(savePath));
        form->show();
        QCoreApplication::processEvents();
        RunWatcher watcher(*form, form->StringGrid1->viewport());
        form->Memo1->clear();
        form->SQLEdit->setPlainText(QString::fromStdString(options.statement));
        QCoreApplication::processEvents();
        ::sync();
        const double idle = double(AnonymousMemoryBytes());
        RunWatcher::Measured run;
        double peak = 0;
        {
            AnonymousPeak anonymous;
            if (options.traceStalls)
                app.startTracing();
            run = watcher.run();
            peak = double(anonymous.bytes());
        }
        if (options.traceStalls) {
            std::fprintf(stderr,
                         "run_bench:   in the longest stall, %.1f ms, %.0f ms after the start:\n",
                         run.longestStall, millisecondsBetween(run.start, run.stallFrom));
            for (const auto &delivery : app.deliveredBetween(run.stallFrom, run.stallTo)) {
                std::fprintf(stderr, "run_bench:     at %7.1f ms for %6.1f ms: %s\n",
                             millisecondsBetween(run.stallFrom, delivery.start),
                             delivery.milliseconds, delivery.what.c_str());
            }
            app.stopTracing();
        }
        if (run.records != raw.rows || form->Memo1->lineCount() < run.records) {
            std::fprintf(stderr, "run_bench: the grid holds %lld records, the result %lld\n",
                         run.records, raw.rows);
            return 1;
        }
        table.add("program: StartRun to RunFinished (grid and log)", "ms", true, run.total);
        table.add("program: longest event-loop stall (5 ms probe)", "ms", false, run.longestStall);
        table.add("program: anonymous memory, idle window", "MiB", false, idle / 1048576);
        table.add("program: peak anonymous memory beyond the idle window", "MiB", false,
                  (peak - idle) / 1048576);
        table.add("temporary folder after the fill", "MB", false,
                  folderDiskBytes(ResultFolder::instance()->path()) / 1e6);

        // Ctrl+End, as a person goes to the last record, until the grid has painted it.
        Clock::time_point start = Clock::now();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::sendEvent(form->StringGrid1, &end);
        form->StringGrid1->viewport()->repaint();
        table.add("grid: Ctrl+End to the last record painted", "ms", false,
                  millisecondsSince(start));
        if (form->StringGrid1->firstVisibleRow() + form->StringGrid1->visibleRowCount()
            < run.records - 1)
            std::fprintf(stderr, "run_bench: Ctrl+End did not show the last record\n");

        start = Clock::now();
        form->SaveCSVButtonClick();
        table.add("SaveGridAsCSV", "ms", true, millisecondsSince(start));
        table.add("CSV file", "MB", false, double(fileSize(savePath)) / 1e6);
        ::unlink(savePath.c_str());
        std::fprintf(stderr, "run_bench: large round %d: raw %.0f ms, program %.0f ms\n", round,
                     raw.total, run.total);
    }
    table.print(rawLoop);

    const auto medianOf = [&](const char *name) {
        return Table::median(table.find(name)->values);
    };
    const auto medianRatio = [&](const char *name, const char *base) {
        return Table::median(table.ratios(name, base));
    };
    const std::vector<Target> targets = {
        {"query into grid and log, x raw loop",
         medianRatio("program: StartRun to RunFinished (grid and log)", rawLoop), 1.1},
        {"longest event-loop stall, ms", medianOf("program: longest event-loop stall (5 ms probe)"),
         16},
        {"grid scrolled to the last record, ms",
         medianOf("grid: Ctrl+End to the last record painted"), 50},
        {"SaveGridAsCSV, x client > file",
         medianRatio("SaveGridAsCSV", "client --quick --batch > file"), 0.3},
        {"peak anonymous memory beyond the idle window, MiB",
         medianOf("program: peak anonymous memory beyond the idle window"),
         double(MemoryBudget::bytes()) / 1048576},
    };
    printTargets(targets);
    return messages.count == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parseOptions(argc, argv);
    // The program's default host "localhost" reaches the server through this socket; the
    // client library reads it once, when it starts.
    ::setenv("MYSQL_UNIX_PORT", options.socket.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ClientLibraryScope clientLibrary;
    TracingApplication app(argc, argv);
    ReportingMessages messages;
    app.setMessageSeam(&messages);

    if (options.large > 0) {
        const int status = largeRounds(options, messages, app);
        app.setMessageSeam(nullptr);
        return status;
    }

    const std::string savePath = options.folder + "/run_bench_grid.csv";
    std::unique_ptr<TForm1> window;
    std::unique_ptr<RunWatcher> watcher;

    const std::string clientFile = options.folder + "/run_bench_client.tsv";
    const long startKiB = statusKiB("VmRSS");
    std::fprintf(stderr, "run_bench: %d rounds of \"%s\"; resident at start %.1f MiB\n",
                 options.rounds, options.statement.c_str(), startKiB / 1024.0);

    Table table;
    long long resultRows = 0;
    long long resultBytes = 0;
    std::vector<double> csvBytes;
    for (int round = 1; round <= options.rounds; ++round) {
        ::sync();
        const RawLoop raw = rawClientLoop(options);
        resultRows = raw.rows;
        resultBytes = raw.bytes;
        table.add(rawLoop, "ms", true, raw.total);
        table.add("raw client loop: first row", "ms", false, raw.firstRow);
        table.add("raw client loop: server processor time", "ms", false, raw.used.server);
        table.add("raw client loop: client processor time", "ms", false, raw.used.process);

        table.add("raw prepared-statement loop (binary, values skipped)", "ms", true,
                  rawPreparedLoop(options));
        table.add("the program's way chosen: prepare, describe, close", "ms", false,
                  preparedProbe(options));
        table.add("client --quick --batch > /dev/null", "ms", true,
                  commandLineClient(options, "/dev/null"));
        table.add("client --quick --batch > file", "ms", true,
                  commandLineClient(options, clientFile));
        const double clientFileBytes = double(fileSize(clientFile));
        ::unlink(clientFile.c_str());

        // The fill: a new window each round, unless told otherwise, so every round measures a
        // first query with a grid that grows from its initial rows; otherwise the log memo
        // starts empty, as after "Search", and the grid blanks itself when the run starts. The
        // clipboard holds nothing of the last round.
        const auto openWindow = [&] {
            watcher.reset();
            window.reset();
            window = std::make_unique<TForm1>(messages);
            window->saveDialogs = std::make_unique<FixedSavePath>(QString::fromStdString(savePath));
            window->show();
            QCoreApplication::processEvents();
            watcher = std::make_unique<RunWatcher>(*window, window->StringGrid1->viewport());
        };
        if (!window || !options.reuseWindow)
            openWindow();
        TForm1 &form = *window;
        form.Memo1->clear();
        QGuiApplication::clipboard()->clear();
        form.SQLEdit->setPlainText(QString::fromStdString(options.statement));
        QCoreApplication::processEvents();
        // The files written before (the client's dump, the last fill's records) are on the disk
        // before the fill starts, so their writing out does not fall into its time.
        ::sync();
        const long beforeKiB = statusKiB("VmRSS");
        resetPeakResident();
        if (options.traceStalls)
            app.startTracing();
        const Processors processors = Processors::now(options.serverPid);
        const RunWatcher::Measured run = watcher->run();
        const Processors used = Processors::now(options.serverPid).since(processors);
        if (options.traceStalls) {
            std::fprintf(stderr,
                         "run_bench:   in the longest stall, %.1f ms, %.0f ms after the start:\n",
                         run.longestStall, millisecondsBetween(run.start, run.stallFrom));
            for (const auto &delivery : app.deliveredBetween(run.stallFrom, run.stallTo)) {
                std::fprintf(stderr, "run_bench:     at %7.1f ms for %6.1f ms: %s\n",
                             millisecondsBetween(run.stallFrom, delivery.start),
                             delivery.milliseconds, delivery.what.c_str());
            }
            for (const auto &kind : app.stopTracing()) {
                std::fprintf(stderr,
                             "run_bench:   longest %6.1f ms, %6d times, %8.1f ms in all: %s\n",
                             kind.longest, kind.count, kind.total, kind.what.c_str());
            }
        }
        const long peakKiB = statusKiB("VmHWM");
        const long afterKiB = statusKiB("VmRSS");
        if (run.records != raw.rows || form.Memo1->lineCount() < run.records) {
            std::fprintf(stderr,
                         "run_bench: the grid holds %lld records, the log %lld lines, "
                         "the result has %lld rows\n",
                         run.records, static_cast<long long>(form.Memo1->lineCount()), raw.rows);
            return 1;
        }
        table.add("program: StartRun to RunFinished (grid and log)", "ms", true, run.total);
        table.add("program: first record painted in the grid", "ms", false, run.firstRowOnScreen);
        table.add("program: first record painted, after raw loop's first row", "ms", false,
                  run.firstRowOnScreen - raw.firstRow);
        table.add("program: longest event-loop stall (5 ms probe)", "ms", false, run.longestStall);
        table.add("program: server processor time", "ms", false, used.server);
        table.add("program: main thread processor time", "ms", false, used.mainThread);
        table.add("program: other threads' processor time (worker)", "ms", false,
                  used.process - used.mainThread);
        table.add("program: resident before the fill", "MiB", false, beforeKiB / 1024.0);
        table.add("program: peak resident during the fill", "MiB", false, peakKiB / 1024.0);
        table.add("program: resident after the fill", "MiB", false, afterKiB / 1024.0);

        Clock::time_point start = Clock::now();
        form.SaveCSVButtonClick();
        table.add("SaveGridAsCSV", "ms", true, millisecondsSince(start));
        const double csv = double(fileSize(savePath));
        csvBytes.push_back(csv);
        ::unlink(savePath.c_str());
        table.add("peak resident during the fill / CSV size", "x", false, peakKiB * 1024.0 / csv);
        table.add("resident after the fill / CSV size", "x", false, afterKiB * 1024.0 / csv);

        // Each copy is timed as its button runs it, and the clipboard emptied afterwards.
        const auto timeCopy = [&](const char *name, void (TForm1::*click)()) {
            const Clock::time_point copyStart = Clock::now();
            (form.*click)();
            table.add(name, "ms", true, millisecondsSince(copyStart));
            const double bytes = double(QGuiApplication::clipboard()
                                            ->mimeData()
                                            ->data(QStringLiteral("text/plain"))
                                            .size());
            QGuiApplication::clipboard()->clear();
            return bytes;
        };
        const double commaBytes =
            timeCopy("clipboard, comma-delimited", &TForm1::ClipboardCSVButtonClick);
        const double spaceBytes =
            timeCopy("clipboard, space-aligned", &TForm1::ClipboardSpaceButtonClick);

        // The grid's own copy, as a person does it: Ctrl+A, then Ctrl+C, to the grid.
        const auto pressOnGrid = [&](Qt::Key key) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
            QCoreApplication::sendEvent(form.StringGrid1, &press);
        };
        start = Clock::now();
        pressOnGrid(Qt::Key_A);
        table.add("grid: Ctrl+A", "ms", false, millisecondsSince(start));
        start = Clock::now();
        pressOnGrid(Qt::Key_C);
        table.add("grid: Ctrl+C of every row (tab-separated)", "ms", true,
                  millisecondsSince(start));
        const double selectionBytes = double(
            QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")).size());
        QGuiApplication::clipboard()->clear();

        // Cells read through the accessibility interface, as a screen reader asks for them:
        // scattered over the whole result, more than the interface keeps.
        QAccessibleTableInterface *cells =
            QAccessible::queryAccessibleInterface(form.StringGrid1)->tableInterface();
        constexpr int cellReads = 10000;
        qsizetype readChars = 0;
        start = Clock::now();
        for (int i = 0; i < cellReads; ++i) {
            const int row = static_cast<int>((i * 7919LL) % std::max(cells->rowCount(), 1));
            readChars +=
                cells->cellAt(row, i % cells->columnCount())->text(QAccessible::Name).size();
        }
        table.add("accessibility: one cell's text, scattered cells", "us", false,
                  millisecondsSince(start) * 1000.0 / cellReads);
        if (readChars == 0)
            std::fprintf(stderr, "run_bench: the cells read through accessibility were empty\n");

        // A progress tick's reading as the run controller makes it away from the window: on a
        // connection of its own, then the clock.
        start = Clock::now();
        readServerListing(ConnectionSettings(), ServerCounters::statusStatement,
                          ServerCounters::rowReadCounter, 1);
        table.add("one counter reading", "ms", false, millisecondsSince(start));

        // The same fill with every statement run as a plain statement (text protocol), in a
        // window of its own.
        setPreparedRows(false);
        if (!options.reuseWindow)
            openWindow();
        window->Memo1->clear();
        window->SQLEdit->setPlainText(QString::fromStdString(options.statement));
        QCoreApplication::processEvents();
        ::sync();
        const RunWatcher::Measured plainRun = watcher->run();
        setPreparedRows(true);
        table.add("program, plain statements only: StartRun to RunFinished", "ms", true,
                  plainRun.total);
        table.add("program, plain statements only: longest stall", "ms", false,
                  plainRun.longestStall);

        table.add("CSV file", "MB", false, csv / 1e6);
        table.add("client's file", "MB", false, clientFileBytes / 1e6);
        table.add("clipboard text, comma-delimited", "MB", false, commaBytes / 1e6);
        table.add("clipboard text, space-aligned", "MB", false, spaceBytes / 1e6);
        table.add("clipboard text, grid Ctrl+C (tab-separated)", "MB", false, selectionBytes / 1e6);

        std::fprintf(stderr,
                     "run_bench: round %d: raw %.0f ms, program %.0f ms, stall %.1f ms, "
                     "peak %.0f MiB, save %.0f ms\n",
                     round, raw.total, run.total, run.longestStall, peakKiB / 1024.0,
                     table.find("SaveGridAsCSV")->values.back());
    }
    watcher.reset();
    window.reset();

    std::printf("%lld rows, %.1f MB of field text (%.1f MB as the grid's CSV); %d rounds; "
                "%ld processors\n\n",
                resultRows, resultBytes / 1e6, Table::median(csvBytes) / 1e6, options.rounds,
                sysconf(_SC_NPROCESSORS_ONLN));
    table.print(rawLoop);

    // The targets, each from the medians of the rounds.
    const auto medianOf = [&](const char *name) {
        return Table::median(table.find(name)->values);
    };
    const auto medianRatio = [&](const char *name, const char *base) {
        return Table::median(table.ratios(name, base));
    };
    const std::vector<Target> targets = {
        {"query into grid and log, x raw loop",
         medianRatio("program: StartRun to RunFinished (grid and log)", rawLoop), 1.05},
        {"longest event-loop stall, ms (worst round)",
         *std::max_element(
             table.find("program: longest event-loop stall (5 ms probe)")->values.begin(),
             table.find("program: longest event-loop stall (5 ms probe)")->values.end()),
         50},
        {"first record painted after the raw loop's first row, ms",
         medianOf("program: first record painted, after raw loop's first row"), 100},
        {"peak resident during the fill, x CSV size",
         medianOf("peak resident during the fill / CSV size"), 2.5},
        {"resident after the fill, x CSV size", medianOf("resident after the fill / CSV size"),
         2.5},
        {"SaveGridAsCSV, x client > file",
         medianRatio("SaveGridAsCSV", "client --quick --batch > file"), 0.4},
        {"clipboard comma-delimited, x client > file",
         medianRatio("clipboard, comma-delimited", "client --quick --batch > file"), 0.6},
        {"clipboard space-aligned, x client > file",
         medianRatio("clipboard, space-aligned", "client --quick --batch > file"), 0.6},
        {"grid Ctrl+C of every row, x clipboard comma-delimited",
         medianRatio("grid: Ctrl+C of every row (tab-separated)", "clipboard, comma-delimited"),
         1.0},
        {"stretch: query into grid and log, x client > /dev/null",
         medianRatio("program: StartRun to RunFinished (grid and log)",
                     "client --quick --batch > /dev/null"),
         1.0},
    };
    printTargets(targets);
    app.setMessageSeam(nullptr);
    return messages.count == 0 ? 0 : 1;
}
