// Export speed of the engine against python3-xlwt and libxlsxwriter, same cells for each:
// 65,535 rows of (text, number, number, text), written and saved to a file.
#include "workbook/workbook.h"

#include <benchmark/benchmark.h>

#ifdef WB_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

std::map<std::string, double> g_seconds;  // mean seconds per benchmark, for the ratios

void record(benchmark::State& state, const std::string& name, double total)
{
    double mean = total / double(state.iterations());
    g_seconds[name] = mean;
    state.counters["cells/s"] = benchmark::Counter(4.0 * kRows / mean);
}

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
        }  // the workbook is released inside the timed span
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    record(state, "engine", total);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EngineXls)->Unit(benchmark::kMillisecond)->Iterations(5);

#ifdef WB_HAVE_XLSXWRITER
void BM_LibxlsxwriterXlsx(benchmark::State& state)
{
    const auto& texts = rowTexts();
    std::string path = outPath("wb-bench-libxlsxwriter.xlsx");
    double total = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        lxw_workbook* book = workbook_new(path.c_str());
        lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
        for (int i = 0; i < kRows; ++i) {
            worksheet_write_string(sheet, lxw_row_t(i), 0, texts[i].number.c_str(), nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 1, reading(i), nullptr);
            worksheet_write_number(sheet, lxw_row_t(i), 2, temperature(i), nullptr);
            worksheet_write_string(sheet, lxw_row_t(i), 3, texts[i].time.c_str(), nullptr);
        }
        if (workbook_close(book) != LXW_NO_ERROR) state.SkipWithError("libxlsxwriter failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    record(state, "libxlsxwriter", total);
    std::filesystem::remove(path);
}
BENCHMARK(BM_LibxlsxwriterXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);
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

} // namespace

int main(int argc, char** argv)
{
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
    return 0;
}
