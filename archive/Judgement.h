#pragma once

#include "archive/Monitoring.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

// Whether a gauge behaves: its trigger levels and the quality of its readings, judged reading by
// reading in time order, without widgets and without the database (the archive feeds it and
// keeps what it finds).
//
// Values: a reading's engineering value by the calibration version valid at its instant, or its
// frequency in Hz for a gauge without any calibration version ("raw units"); NaN where a gauge
// with versions has none that applies.
namespace archive {

// What a level compares with its threshold.
enum class LevelQuantity : std::uint8_t {
    Value,  // the value itself
    Change, // the value less the baseline's value (the "initial reading")
    Rate,   // change per day over a window: see judgeSeries
};

// High: reached by a quantity at or above the threshold; Low: at or below it.
enum class LevelSide : std::uint8_t {
    High,
    Low,
};

// One trigger level. Rank 1..3 (1 the mildest); each side has at most one level of each rank.
struct TriggerLevel {
    LevelSide side = LevelSide::High;
    int rank = 1;
    LevelQuantity quantity = LevelQuantity::Value;
    double threshold = 0; // in the gauge's units (per day for Rate)
    double windowDays = 1; // Rate only: > 0
    int confirm = 1;       // consecutive judged readings beyond the threshold before it is reached: >= 1
    double deadBand = 0;   // >= 0: once reached, it clears only at a quantity inside threshold -/+ deadBand
    bool operator==(const TriggerLevel&) const = default;
};

constexpr int kMaxRank = 3;

// The default names of ranks 1..3: 预警, 报警, 控制 (shown amber, orange, red).
QStringList defaultRankNames();

// A version of a gauge's trigger levels, applying from a UTC instant until the next version (as
// calibration versions do: the later entered of two from the same instant). Versions are never
// changed, only added; each keeps when it was entered and by whom. A version without levels
// (`levels` empty) ends the levels from its instant on.
struct LevelSet {
    qint64 id = 0;
    QString gauge;
    qint64 fromUtc = kSinceEver;
    // The baseline: the first judged (not masked, with a value) reading at or after this instant;
    // kSinceEver: the gauge's first judged reading.
    qint64 baselineUtc = kSinceEver;
    QStringList rankNames = defaultRankNames(); // exactly kMaxRank names
    std::vector<TriggerLevel> levels;
    QDateTime enteredAt; // UTC
    QString enteredBy;
    // Same levels, baseline and names (what a new version must differ in).
    bool sameRules(const LevelSet& other) const;
};

// Why a level set cannot be kept as it stands, in the operator's words, or "" when it can: a rank
// outside 1..3 or given twice on one side, a threshold or dead band that is not a finite number, a
// negative dead band, a window that is not positive, a confirmation below 1, names not three or
// one of them empty.
QString levelSetProblem(const LevelSet& set);

// The quality rules of the gauges of one type (`type` empty: of gauges whose type has no rules of
// its own). defaultQualityRules() gives the built-in ones, editable by the operator.
struct QualityRules {
    QString type;
    double minHz = 400; // the frequency band of the type's gauges
    double maxHz = 4500;
    double minC = -30; // the plausible temperatures
    double maxC = 70;
    double maxJumpC = 5; // the largest plausible change of temperature between consecutive readings
    // A step larger than stepFactor times the gauge's usual scatter (the median of the absolute
    // differences between consecutive values over the last scatterWindow judged readings, needing
    // at least 5 of them) is flagged. 0: not checked.
    double stepFactor = 10;
    int scatterWindow = 20;
    bool operator==(const QualityRules&) const = default;
};
std::vector<QualityRules> defaultQualityRules();
// The rules for a type: its own, else the entry with an empty type, else the built-in default.
QualityRules rulesFor(const std::vector<QualityRules>& all, const QString& type);
QString qualityRulesProblem(const QualityRules& rules);

// Quality flags, a bit each; a reading keeps them beside it and is never changed or deleted.
enum QualityFlag : std::uint16_t {
    OutOfBand = 1 << 0,          // frequency outside the type's band
    TemperatureRange = 1 << 1,   // temperature outside the plausible range
    TemperatureJump = 1 << 2,    // temperature jumped more than maxJumpC since the previous reading
    Step = 1 << 3,               // value stepped more than stepFactor times the usual scatter
    DuplicateTime = 1 << 4,      // another reading of the gauge has the same instant and another reading
    FutureTime = 1 << 5,         // more than an hour after the download that brought it
    BeforeInstallation = 1 << 6, // before the gauge's installation date (UTC midnight of that date)
};
// The flags in the operator's words, "频率超出范围；温度跳变" ("" for none); English with `english`.
QString flagsText(std::uint16_t flags, bool english = false);

// Status of a judged reading: 0 (normal, green) or the highest rank among its levels reached.
// A level's "rule" is its index into the LevelSet's `levels`.
struct Judgement {
    std::uint8_t status = 0;
    bool judged = false; // false: masked, or no value; such a reading gets no status
    std::int16_t level = -1; // the level that set a status > 0 (index in the set's levels); -1 none
    qint64 levelSet = 0;     // the id of the set that applied; 0 none
    std::uint16_t flags = 0;
};

// A change of a gauge's status, at the judged reading where it happened.
struct Transition {
    std::size_t index = 0; // of the reading in the series judged
    std::uint8_t from = 0;
    std::uint8_t to = 0;
    std::int16_t level = -1; // the level that set `to` (-1 when back to normal)
    qint64 levelSet = 0;
};

// One reading as the judge takes it, in time order (utc, then the archive's own order).
struct JudgeInput {
    qint64 utc = 0;
    double hz = NAN;
    double temperatureC = NAN; // NaN: none
    double value = NAN;        // NaN: none
    bool masked = false;
    qint64 downloadedUtc = 0; // when the download that brought it ended (0: not known)
};

// What judging a gauge carries from one reading to the next: enough to go on with new readings
// without judging the old ones again. Kept by the archive after the last reading judged.
struct JudgeState {
    qint64 levelSet = 0; // the set the levels' state below is of
    std::vector<bool> active;
    std::vector<int> beyond; // consecutive judged readings beyond each level
    std::uint8_t status = 0;
    std::optional<double> baseline; // the baseline's value once found
    qint64 baselineUtc = kSinceEver; // of the set that found it
    // A compact text of the state, and the state of such a text (nullopt when it is not one).
    QString toText() const;
    static std::optional<JudgeState> fromText(const QString& text);
    bool operator==(const JudgeState&) const = default;
};

// Judges readings[first..] of one gauge, in order, going on from `state` (the state after
// readings[first - 1]; a fresh state for first == 0); readings before `first` are looked back on
// only (rates, scatter, temperature jumps and same instants), never judged again. `sets` are the
// gauge's level versions in any order; each reading is judged by the one valid at its instant
// (versionAt's rule) and a change of set starts the levels afresh.
//
// Rate over a window of W days at reading i: (v_i - v_j) / days(t_i - t_j), where j is the latest
// judged reading at or before t_i - W days; no rate (the level is not judged at i, its state
// kept) when there is none.
// A level is reached at the confirm-th consecutive judged reading beyond its threshold and clears
// at the first judged reading inside threshold - deadBand (High) / threshold + deadBand (Low).
// Flags are given to every reading judged, masked or not; masked readings and readings without a
// value are left out of levels, rates, baseline and scatter.
struct JudgeOutput {
    std::vector<Judgement> judgements; // one per reading from `first`
    std::vector<Transition> transitions;
};
JudgeOutput judgeSeries(const std::vector<JudgeInput>& readings, std::size_t first, const std::vector<LevelSet>& sets,
                        const QualityRules& rules, const QDate& installed, JudgeState* state);

// How far back judgeSeries looks from readings[first]: readings at or after first's instant less
// this many seconds, and at least `readings` readings before it, are what it needs to go on
// exactly as it would over the whole series.
struct Lookback {
    qint64 seconds = 0;
    int readings = 0;
};
Lookback lookbackFor(const std::vector<LevelSet>& sets, const QualityRules& rules);

// A level in the operator's words: "报警：累计变化 ≥ 20 mm（连续 3 次，回差 1）".
QString levelText(const LevelSet& set, int level, const QString& unit, bool english = false);
// A status's name in the set's words: "正常" for 0, else the rank's name.
QString statusName(const LevelSet* set, int status, bool english = false);

// ------------------------------------------------------------------------------------------------
// What the archive keeps and gives of the judgements.

// A reading as the archive identifies it (its slot, its time in the key, its file), for masking.
struct ReadingRef {
    qint64 slot = 0;
    qint64 time = 0;
    qint64 file = 0;
    bool operator==(const ReadingRef&) const = default;
};

// A transition as the archive keeps it, with the operator's acknowledgement.
struct LevelEvent {
    qint64 id = 0;
    QString gauge;
    QString site;
    qint64 utc = 0;
    qint64 time = 0; // the readout's clock
    QString readout;
    double value = NAN;
    QString unit;
    int from = 0;
    int to = 0;
    QString rule;     // levelText of the level that set `to` ("" when back to normal)
    QString fromName; // statusName of each, in the set's words
    QString toName;
    bool acknowledged = false;
    QString note;
    QString acknowledgedBy;
    QDateTime acknowledgedAt;
};

struct EventQuery {
    qint64 sinceUtc = kSinceEver;
    QString site;  // empty: all
    QString gauge; // empty: all
    bool unacknowledgedOnly = false;
};

// A mask the operator put on a reading: left out of levels, rates and plots; the reading stays.
struct Mask {
    ReadingRef reading;
    QString gauge;
    qint64 utc = 0;
    QString note;
    QString by;
    QDateTime at;
};

// A gauge not read within its interval.
struct OverdueGauge {
    QString gauge;
    QString site;
    int intervalDays = 0;
    qint64 lastUtc = 0; // 0: never read
    double daysSince = 0; // since the last reading (since installation when never read)
};

// Where each gauge stands now: the status of its latest judged reading.
struct GaugeStatus {
    QString gauge;
    QString site;
    int status = 0;
    QString statusName;
    QString rule;
    qint64 lastUtc = 0;
    double lastValue = NAN;
    QString unit;
};

// What judging a store's new readings found: the transitions among them, the gauges whose status
// changed (with where they stand now) and how many new readings were flagged; and, for the
// preview, each new reading that has a status above normal or a flag.
struct MarkedRecord {
    QString partition;
    QString file;
    QString code;
    qint64 time = 0; // the readout's clock
    int status = 0;
    std::uint16_t flags = 0;
};
struct Verdict {
    std::vector<LevelEvent> events;
    std::vector<GaugeStatus> changed; // gauges whose status the new readings changed, worst first
    qint64 flagged = 0;               // new readings with a flag
    QStringList flaggedGauges;
    std::vector<MarkedRecord> marked;
    // Whether a gauge reached a higher status or a new reading was flagged (what the command
    // line's exit code reports).
    bool raised() const;
    // How many of `changed` stand at rank 2 or above now.
    int atAlarm() const;
};

// The operator's words for a verdict, for the status line: "2 个测点状态改变，1 个测点超过报警值，
// 3 条读数有质量标记" ("" when there is nothing to say).
QString verdictText(const Verdict& verdict, bool english = false);

} // namespace archive
