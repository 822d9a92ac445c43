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
    double threshold = 0;  // in the gauge's units (per day for Rate)
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
// its own). defaultQualityRules() gives the built-in ones, editable by the operator: one entry
// for every type (`type` empty) with the values below.
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
// Why rules cannot be kept, in the operator's words, or "": bands not finite or not rising, a jump
// limit not above 0, a negative step factor, a scatter window outside 6..1000.
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
// The texts with an `english` flag here are in both languages in the code (as the gauge register's
// headers): the flag chooses, not the program's catalogue; the problems of sets and rules are
// translated through the catalogue ("Judgement") like the archive's other messages.
QString flagsText(std::uint16_t flags, bool english = false);

// Status of a judged reading: 0 (normal, green) or the highest rank among its levels reached.
// A level's "rule" is its index into the LevelSet's `levels`.
struct Judgement {
    std::uint8_t status = 0;
    bool judged = false;     // false: masked, or no value; such a reading gets no status
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
    std::optional<double> baseline;  // the baseline's value once found
    qint64 baselineUtc = kSinceEver; // of the set that found it
    // A compact text of the state ("1;levelSet;status;baselineUtc;baseline or -;active bits;
    // beyond counts", the baseline in 17 significant digits, which give it back exactly), and the
    // state of such a text (nullopt when it is not one).
    QString toText() const;
    static std::optional<JudgeState> fromText(const QString& text);
    bool operator==(const JudgeState&) const = default;
};

// Judges readings[first..] of one gauge, in order, going on from `state` (the state after
// readings[first - 1]; a fresh state for first == 0; nullptr: a fresh one, not given back);
// readings before `first` are looked back on only (rates, scatter, temperature jumps, same
// instants and baselines), never judged again. `sets` are the gauge's level versions in any
// order; each reading is judged by the one valid at its instant (versionAt's rule: the latest
// fromUtc at or before it; of two from the same instant the larger id, then the later enteredAt).
// The readings must be in time order (utc not decreasing); sets are told apart by their ids.
//
// Judged: a reading not masked and with a finite value. Masked readings and readings without a
// value are left out of levels, rates, baseline and scatter: they get status 0, judged false,
// levelSet 0, and leave the state as it was. A judged reading gets the id of the set valid at its
// instant (0: none, status 0; a set without levels gives status 0 too).
//
// Each level on its own keeps whether it is reached (`active`) and how many consecutive judged
// readings were beyond its threshold (`beyond`). At a judged reading where its quantity q can be
// computed: beyond = q >= threshold (High) / q <= threshold (Low), which counts up or back to 0;
// a level not reached is reached once the count is at least `confirm`; a reached level clears at
// q < threshold - deadBand (High) / q > threshold + deadBand (Low). Where q cannot be computed the
// level's state is kept. The status is the highest rank among the reached levels (0: none) and
// `level` the first of that rank in the set's order.
//
// Quantities: Value is v. Change is v less the baseline: the value of the first judged reading
// at or after the set's baselineUtc (that reading itself has change 0; before it is found, no
// change). Rate over a window of W days at reading i: (v_i - v_j) / days(t_i - t_j), where j is
// the latest judged reading at or before t_i - W days; no rate when there is none.
//
// A change of set (the set valid at a judged reading is not the state's levelSet) starts the
// levels afresh (none reached, counts 0) before that reading is judged; when the new set's
// baselineUtc differs from the state's, its baseline is searched again, among the readings
// given (readings before `first` too) when it lies before that reading.
//
// Transitions: at each judged reading whose status differs from the previous judged reading's
// (the state's status; 0 for a fresh state). Transition::index is the index in `readings`.
//
// Flags are given to every reading from `first`, masked or not:
// - OutOfBand: a finite hz outside [minHz, maxHz] (a reading without a frequency is not flagged);
// - TemperatureRange: a finite temperature outside [minC, maxC];
// - TemperatureJump: |T - T_prev| > maxJumpC, T_prev the temperature of the previous unmasked
//   reading that has one;
// - Step (stepFactor > 0, a reading with a finite value): |v - v_prev| > stepFactor * scatter,
//   v_prev the previous judged reading's value, scatter the median of the absolute differences of
//   consecutive values among the last scatterWindow judged readings before it (at least 5
//   differences), but never below the smallest non-zero one of those differences: readings
//   quantised to 0.1 Hz repeat, and a median of 0 would flag a change by one step of the
//   resolution. Where every difference is 0 the window tells nothing of the scatter: not checked;
// - DuplicateTime: another reading among `readings` (before or after it) with the same utc and
//   another hz;
// - FutureTime: downloadedUtc > 0 and utc > downloadedUtc + 3600;
// - BeforeInstallation: `installed` valid and utc before the UTC midnight that starts it.
struct JudgeOutput {
    std::vector<Judgement> judgements; // one per reading from `first`
    std::vector<Transition> transitions;
};
JudgeOutput judgeSeries(const std::vector<JudgeInput>& readings, std::size_t first, const std::vector<LevelSet>& sets,
                        const QualityRules& rules, const QDate& installed, JudgeState* state);

// How far back judgeSeries looks from readings[first]. Judging readings[first..] from the state
// after readings[first - 1] gives exactly what judging the whole series gives for them when the
// readings given before `first` include:
// - every reading at or after readings[first].utc - seconds (the longest Rate window, rounded up
//   to a second; it also covers the readings at first's own instant), and the latest judged
//   reading at or before that instant (the j of a rate), with the readings between;
// - at least `readings` judged readings, max(scatterWindow + 1, the largest confirm, 2): the
//   scatter's window and the previous value are what the judge looks back on (the counts of
//   confirmation are in the state; the rest is a margin);
// - the latest unmasked reading with a temperature;
// - the readings from baselineLookbackUtc(sets, state, readings[first].utc) on.
// A reading's DuplicateTime flag also depends on readings after it: those not yet given cannot
// count.
struct Lookback {
    qint64 seconds = 0;
    int readings = 0;
};
Lookback lookbackFor(const std::vector<LevelSet>& sets, const QualityRules& rules);

// From when the readings are needed to find the baselines of the sets that may start applying at
// or after firstUtc, judged from `state`: the earliest baselineUtc before firstUtc of such a set
// with a Change level whose baseline the state does not hold (kSinceEver: the gauge's first
// reading); kUntilNow when none is needed.
qint64 baselineLookbackUtc(const std::vector<LevelSet>& sets, const JudgeState& state, qint64 firstUtc);

// A level in the operator's words: "报警：累计变化 ≥ 20 mm（连续 3 次，回差 1）", a rate as
// "预警：变化速率（7 天） ≥ 2 mm/天"; the parenthesis only for a confirm above 1 or a dead band.
// "" for a level the set does not have.
QString levelText(const LevelSet& set, int level, const QString& unit, bool english = false);
// A status's name in the set's words: "正常" for 0, else the rank's name (the default names in
// English with `english`: Alert, Alarm, Control; the operator's own as typed).
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
    qint64 lastUtc = 0;   // 0: never read
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
// 3 条读数有质量标记" ("" when there is nothing to say; "报警" the default name of rank 2, as the
// gauges' sets may name their ranks each in its own way).
QString verdictText(const Verdict& verdict, bool english = false);

} // namespace archive
