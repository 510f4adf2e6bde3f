// Prints, in one run: the time from process start to the console window
// shown, with the lazy web pane against the same window without any pane;
// and the time to log 10,000 and 100,000 browser status texts.
//
//   bench_console [runs per start-up variant, default 15]
#include "console_window.h"
#include "curl_transfer.h"
#include "fakes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double startupMs(const QString &program)
{
    QElapsedTimer clock;
    QProcess process;
    clock.start();
    process.start(program, {});
    QByteArray output;
    while (!output.contains("shown") && process.waitForReadyRead(30000))
        output += process.readAll();
    const double ms = clock.nsecsElapsed() / 1e6;
    process.waitForFinished();
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double logMs(int texts)
{
    auto *pane = new FakeBrowserPane;
    const auto window = makeConsoleWindow(new CurlTransfer, pane, std::make_unique<DialogPrompt>());
    window->show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < texts; ++i) {
        Q_EMIT pane->statusTextChange(
            QStringLiteral("http://www.sarvel.example/page%1.asp").arg(i));
        // Let the window repaint now and then, as it does while texts arrive.
        if (i % 1000 == 999)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const QString dir = QCoreApplication::applicationDirPath();

    std::vector<double> lazy;
    std::vector<double> plain;
    startupMs(dir + "/bench_startup_lazy"); // warm the file cache for both
    startupMs(dir + "/bench_startup_plain");
    for (int i = 0; i < runs; ++i) {
        lazy.push_back(startupMs(dir + "/bench_startup_lazy"));
        plain.push_back(startupMs(dir + "/bench_startup_plain"));
    }
    const double lazyMs = median(lazy);
    const double plainMs = median(plain);
    std::printf("start-up to window shown (median of %d): lazy web pane %.1f ms, no pane %.1f ms, "
                "ratio %.2f (target < 1.3)\n",
                runs, lazyMs, plainMs, lazyMs / plainMs);

    const double small = logMs(10000);
    const double large = logMs(100000);
    std::printf(
        "status log: 10,000 texts %.1f ms, 100,000 texts %.1f ms, ratio %.1f (target < 15)\n",
        small, large, large / small);
    return 0;
}
