// Export speed of the engine against python3-xlwt and libxlsxwriter, same cells for each:
// 65,535 rows of (text, number, number, text), written and saved to a file: .xls by the engine
// and xlwt; .xlsx by the engine's streaming writer and by libxlsxwriter in its normal and its
// constant-memory mode. Then 1,000,000 rows of .xlsx, each writer in a process of its own for
// its time and peak memory; and the engine's .xlsx writer at every deflate level.
#include "workbook/workbook.h"
#include "xlsx_write.h"

#include <benchmark/benchmark.h>

#ifdef WB_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 65535;

struct RowText {
    std::string number, time;
};

const std::vector<RowText>& rowTexts()
{
    static const std::vector<RowText> rows = [] {
        std::vector<RowText> v(kRows);
        char buf[32];
        for (int i = 0; i < kRows; ++i) {
            v[i].number = std::to_string(i + 1);
            std::snprintf(buf, sizeof buf, "2026-12-07 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
            v[i].time = buf;
        }
        return v;
    }();
    return rows;
}

double reading(int i) { return (i % 5000) / 10.0; }
double temperature(int i) { return -5.2 + (i % 100) / 10.0; }

std::string outPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

std::map<std::string, double> g_seconds; // mean seconds per benchmark, for the ratios
std::map<std::string, double> g_cpu;     // mean CPU seconds of this process

void record(benchmark::State& state, const std::string& name, double total, double cpu = 0)
{
    double mean = total / double(state.iterations());
    g_seconds[name] = mean;
    if (cpu > 0) g_cpu[name] = cpu / double(state.iterations());
    state.counters["cells/s"] = benchmark::Counter(4.0 * kRows / mean);
}

double cpuNow() { return double(std::clock()) / CLOCKS_PER_SEC; }

// The engine's streaming .xlsx writer over the same rows; `level` < 0 keeps its own choice.
workbook::Error writeXlsx(const std::string& path, int level)
{
    const auto& texts = rowTexts();
    auto w = workbook::XlsxWriter::create(path);
    if (!w) return w.error();
    if (level >= 0) w->impl().level = level;
    if (auto e = w->addSheet("Sheet1")) return e;
    for (int i = 0; i < kRows; ++i)
        if (auto e = w->writeRow({texts[i].number, reading(i), temperature(i), texts[i].time})) return e;
    return w->commit();
}

void BM_EngineXlsx(benchmark::State& state)
{
    std::string path = outPath("wb-bench-engine.xlsx");
    double total = 0, cpu = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpuNow();
        if (auto e = writeXlsx(path, -1)) state.SkipWithError(e.description().c_str());
        cpu += cpuNow() - c0;
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    record(state, "engine-xlsx", total, cpu);
    state.counters["KB"] = double(std::filesystem::file_size(path)) / 1024;
    std::filesystem::remove(path);
}
BENCHMARK(BM_EngineXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);

// The measurement behind the writer's deflate level (0 = stored).
void BM_EngineXlsxLevel(benchmark::State& state)
{
    std::string path = outPath("wb-bench-level.xlsx");
    for (auto _ : state)
        if (auto e = writeXlsx(path, int(state.range(0)))) state.SkipWithError(e.description().c_str());
    state.counters["KB"] = double(std::filesystem::file_size(path)) / 1024;
    std::filesystem::remove(path);
}
BENCHMARK(BM_EngineXlsxLevel)->DenseRange(0, 9)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_EngineXls(benchmark::State& state)
{
    const auto& texts = rowTexts();
    std::string path = outPath("wb-bench-engine.xls");
    double total = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        {
            auto wb = workbook::Workbook::createXls("Sheet1");
            workbook::Sheet& s = wb->sheet(0);
            for (int i = 0; i < kRows; ++i) {
                s.setText(i + 1, 1, texts[i].number);
                s.setNumber(i + 1, 2, reading(i));
                s.setNumber(i + 1, 3, temperature(i));
                s.setText(i + 1, 4, texts[i].time);
            }
            if (auto e = wb->saveAs(path)) state.SkipWithError(e.description().c_str());
        } // the workbook is released inside the timed span
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    record(state, "engine", total);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EngineXls)->Unit(benchmark::kMillisecond)->Iterations(5);

#ifdef WB_HAVE_XLSXWRITER
void libxlsxwriterRun(benchmark::State& state, bool constantMemory, const char* name)
{
    const auto& texts = rowTexts();
    std::string path = outPath(constantMemory ? "wb-bench-lxw-cm.xlsx" : "wb-bench-lxw.xlsx");
    double total = 0, cpu = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpuNow();
        lxw_workbook_options options = {};
        options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
        lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
        for (int i = 0; i < kRows; ++i) {
            worksheet_write_string(sheet, lxw_row_t(i), 0, texts[i].number.c_str(), nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 1, reading(i), nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 2, temperature(i), nullptr);
            worksheet_write_string(sheet, lxw_row_t(i), 3, texts[i].time.c_str(), nullptr);
        }
        if (workbook_close(book) != LXW_NO_ERROR) state.SkipWithError("libxlsxwriter failed");
        cpu += cpuNow() - c0;
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    record(state, name, total, cpu);
    state.counters["KB"] = double(std::filesystem::file_size(path)) / 1024;
    std::filesystem::remove(path);
}

void BM_LibxlsxwriterXlsx(benchmark::State& state) { libxlsxwriterRun(state, false, "libxlsxwriter"); }
BENCHMARK(BM_LibxlsxwriterXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);
void BM_LibxlsxwriterConstantMemory(benchmark::State& state) { libxlsxwriterRun(state, true, "libxlsxwriter-cm"); }
BENCHMARK(BM_LibxlsxwriterConstantMemory)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

void BM_PythonXlwt(benchmark::State& state)
{
    std::string path = outPath("wb-bench-xlwt.xls");
    std::string cmd = std::string(WB_PYTHON) + " '" + WB_XLWT_SCRIPT + "' '" + path + "' " + std::to_string(kRows);
    double total = 0;
    for (auto _ : state) {
        // The script times itself from before "import xlwt" to after the save.
        std::FILE* p = popen(cmd.c_str(), "r");
        char buf[64] = {0};
        size_t n = p ? std::fread(buf, 1, sizeof buf - 1, p) : 0;
        int rc = p ? pclose(p) : -1;
        if (rc != 0 || n == 0) {
            state.SkipWithError("python3-xlwt run failed");
            return;
        }
        double secs = std::atof(buf);
        state.SetIterationTime(secs);
        total += secs;
    }
    record(state, "xlwt", total);
    std::filesystem::remove(path);
}
BENCHMARK(BM_PythonXlwt)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// ---- 1,000,000 rows, each writer in a child process: its time and its peak memory ----

constexpr int kBigRows = 1000000;

// Row texts made on the fly (a whole column of texts kept in memory would be counted as the
// writer's): the number, and "2026-12-07 HH:MM:SS".
struct BigRow {
    char number[12];
    char time[20] = "2026-12-07 00:00:00";
    void make(int i)
    {
        *std::to_chars(number, number + 11, i + 1).ptr = '\0';
        const int h = (i / 3600) % 24, m = (i / 60) % 60, s = i % 60;
        time[11] = char('0' + h / 10), time[12] = char('0' + h % 10);
        time[14] = char('0' + m / 10), time[15] = char('0' + m % 10);
        time[17] = char('0' + s / 10), time[18] = char('0' + s % 10);
    }
};

// Runs in the child: writes `rows` rows with writer `who` to `path`; exit status 0 on success.
int childWriteRows(const std::string& who, const std::string& path, int rows)
{
    BigRow row;
    if (who == "engine") {
        auto w = workbook::XlsxWriter::create(path);
        if (!w || w->addSheet("Sheet1")) return 1;
        for (int i = 0; i < rows; ++i) {
            row.make(i);
            if (w->writeRow({row.number, reading(i), temperature(i), row.time})) return 1;
        }
        return w->commit() ? 1 : 0;
    }
#ifdef WB_HAVE_XLSXWRITER
    if (who == "libxlsxwriter-cm" || who == "libxlsxwriter") {
        lxw_workbook_options options = {};
        options.constant_memory = who == "libxlsxwriter-cm" ? LXW_TRUE : LXW_FALSE;
        lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
        for (int i = 0; i < rows; ++i) {
            row.make(i);
            worksheet_write_string(sheet, lxw_row_t(i), 0, row.number, nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 1, reading(i), nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 2, temperature(i), nullptr);
            worksheet_write_string(sheet, lxw_row_t(i), 3, row.time, nullptr);
        }
        return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
    }
#endif
    return 2;
}

// The peak resident memory of this process, from the kernel's high-water mark (VmHWM, which
// starts afresh at exec; getrusage's maxrss would also count the parent's memory, which the
// child shares until its exec).
double peakMB()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atof(line + 6);
    std::fclose(f);
    return kb / 1024;
}

// The child's whole run: prints "seconds CPU-seconds peak-MB", or nothing on failure.
int childWrite(const std::string& who, const std::string& path, int rows)
{
    auto t0 = std::chrono::steady_clock::now();
    int rc = childWriteRows(who, path, rows);
    if (rc != 0) return rc;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.3f %.3f %.1f\n", seconds, cpuNow(), peakMB());
    return 0;
}

struct ChildRun {
    bool ok = false;
    double seconds = 0, cpu = 0, peakMB = 0, fileMB = 0;
};

ChildRun runChild(const std::string& who, int rows)
{
    ChildRun run;
    const std::string path = outPath(("wb-bench-big-" + who + ".xlsx").c_str());
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string cmd = "'" + self + "' --write-xlsx=" + who + " '" + path + "' " + std::to_string(rows);
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return run;
    char buf[128] = {0};
    size_t n = std::fread(buf, 1, sizeof buf - 1, p);
    int status = pclose(p);
    run.ok = status == 0 && n > 0 && std::sscanf(buf, "%lf %lf %lf", &run.seconds, &run.cpu, &run.peakMB) == 3;
    std::error_code ec;
    run.fileMB = double(std::filesystem::file_size(path, ec)) / (1024 * 1024);
    std::filesystem::remove(path, ec);
    return run;
}

void bigRuns()
{
    std::printf("\n%d rows x 4 columns of .xlsx, each writer in a process of its own:\n", kBigRows);
    std::printf("%-18s %9s %9s %11s %9s\n", "writer", "time s", "CPU s", "peak MB", "file MB");
    std::vector<std::string> writers = {"engine"};
#ifdef WB_HAVE_XLSXWRITER
    writers.push_back("libxlsxwriter-cm");
    writers.push_back("libxlsxwriter");
#endif
    for (const std::string& who : writers) {
        ChildRun r = runChild(who, kBigRows);
        if (!r.ok) {
            std::printf("%-18s failed\n", who.c_str());
            continue;
        }
        std::printf("%-18s %9.2f %9.2f %11.1f %9.1f%s\n", who.c_str(), r.seconds, r.cpu, r.peakMB, r.fileMB,
                    who == "engine" ? (r.peakMB < 64 ? "   (target: peak < 64 MB: met)" : "   (target: peak < 64 MB: NOT met)") : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strncmp(argv[1], "--write-xlsx=", 13) == 0)
        return childWrite(argv[1] + 13, argv[2], std::atoi(argv[3]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_seconds.count("engine")) {
        double e = g_seconds["engine"];
        std::printf("\nengine: %.3f s for %d rows x 4 columns (target <= 0.3 s)\n", e, kRows);
        if (g_seconds.count("xlwt"))
            std::printf("python3-xlwt / engine: %.1fx (target >= 10x)\n", g_seconds["xlwt"] / e);
        if (g_seconds.count("libxlsxwriter"))
            std::printf("libxlsxwriter / engine: %.2fx (target >= 1x)\n", g_seconds["libxlsxwriter"] / e);
    }
    if (g_seconds.count("engine-xlsx")) {
        const double e = g_seconds["engine-xlsx"], ec = g_cpu["engine-xlsx"];
        std::printf("\n.xlsx, %d rows x 4 columns, mean of 5 (time = wall clock; the engine's includes an fsync):\n", kRows);
        std::printf("%-26s %9s %9s %14s %14s\n", "writer", "time ms", "CPU ms", "time / engine", "CPU / engine");
        for (const char* name : {"engine-xlsx", "libxlsxwriter", "libxlsxwriter-cm"}) {
            if (!g_seconds.count(name)) continue;
            std::printf("%-26s %9.1f %9.1f %13.2fx %13.2fx\n", name, g_seconds[name] * 1e3, g_cpu[name] * 1e3,
                        g_seconds[name] / e, g_cpu[name] / ec);
        }
        if (g_seconds.count("libxlsxwriter"))
            std::printf("engine against libxlsxwriter (normal mode): %.2fx as fast (target >= 1.5x): %s\n",
                        g_seconds["libxlsxwriter"] / e, g_seconds["libxlsxwriter"] / e >= 1.5 ? "met" : "NOT met");
    }
    bigRuns();
    return 0;
}
