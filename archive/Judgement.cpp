#include "archive/Judgement.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cmath>

namespace archive {

namespace {

constexpr double kDay = 86400;

// The texts given with an `english` flag come in both languages here (as the gauge register's
// headers do): the flag, not the program's language, chooses.
QString pick(bool english, const char* chinese, const char* inEnglish)
{
    return QString::fromUtf8(english ? inEnglish : chinese);
}

const std::array<const char*, kMaxRank> kRankNames{"预警", "报警", "控制"};
const std::array<const char*, kMaxRank> kEnglishRankNames{"Alert", "Alarm", "Control"};

QString numberText(double d) { return QString::number(d, 'g', 15); }

bool hasChangeLevel(const LevelSet& set)
{
    return std::any_of(set.levels.begin(), set.levels.end(),
                       [](const TriggerLevel& l) { return l.quantity == LevelQuantity::Change; });
}

// Whether `a` applies rather than `b` when both start at the same instant: the later entered.
bool enteredBefore(const LevelSet* a, const LevelSet* b)
{
    if (a->fromUtc != b->fromUtc)
        return a->fromUtc < b->fromUtc;
    if (a->id != b->id)
        return a->id < b->id;
    return a->enteredAt < b->enteredAt;
}

// The sets in the order they apply: by their instant, the later entered after the earlier.
std::vector<const LevelSet*> orderedSets(const std::vector<LevelSet>& sets)
{
    std::vector<const LevelSet*> out;
    out.reserve(sets.size());
    for (const LevelSet& s : sets)
        out.push_back(&s);
    std::stable_sort(out.begin(), out.end(), enteredBefore);
    return out;
}

// The set valid at `utc` in `ordered` (orderedSets): the last one from at or before it.
const LevelSet* setAt(const std::vector<const LevelSet*>& ordered, qint64 utc)
{
    const auto after =
        std::upper_bound(ordered.begin(), ordered.end(), utc, [](qint64 t, const LevelSet* s) { return t < s->fromUtc; });
    return after == ordered.begin() ? nullptr : *(after - 1);
}

bool judgedReading(const JudgeInput& r) { return !r.masked && std::isfinite(r.value); }

void startAfresh(JudgeState* state, const LevelSet* set)
{
    state->levelSet = set ? set->id : 0;
    const std::size_t n = set ? set->levels.size() : 0;
    state->active.assign(n, false);
    state->beyond.assign(n, 0);
}

// Whether a reading `step` away from the previous judged value steps more than `factor` times
// the scatter of `diffs` (the absolute differences of consecutive judged values in the window):
// their median, floored at the smallest non-zero one, as values quantised to a resolution
// (0.1 Hz) often repeat and a median of 0 would flag every change by one step of that
// resolution. No step where no difference is non-zero: a window of one repeated value tells
// nothing of the gauge's scatter. The median is worked out only when the bounds of the scatter
// (the floor, the largest difference) leave it open.
bool stepsOut(double step, double factor, const double* diffs, std::size_t count)
{
    double smallest = INFINITY;
    double largest = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double d = diffs[k];
        if (d > 0 && d < smallest)
            smallest = d;
        largest = std::max(largest, d);
    }
    if (!std::isfinite(smallest) || step <= factor * smallest)
        return false;
    if (step > factor * largest)
        return true;
    std::vector<double> sorted(diffs, diffs + count);
    const std::size_t mid = count / 2;
    std::nth_element(sorted.begin(), sorted.begin() + qint64(mid), sorted.end());
    double median = sorted[mid];
    if (count % 2 == 0)
        median = (median + *std::max_element(sorted.begin(), sorted.begin() + qint64(mid))) / 2;
    return step > factor * std::max(median, smallest);
}

} // namespace

QStringList defaultRankNames()
{
    QStringList out;
    for (const char* name : kRankNames)
        out << QString::fromUtf8(name);
    return out;
}

bool LevelSet::sameRules(const LevelSet& other) const
{
    return levels == other.levels && baselineUtc == other.baselineUtc && rankNames == other.rankNames;
}

QString levelSetProblem(const LevelSet& set)
{
    if (set.rankNames.size() != kMaxRank)
        return QCoreApplication::translate("Judgement", "级别名称须有 3 个");
    for (const QString& name : set.rankNames)
        if (name.trimmed().isEmpty())
            return QCoreApplication::translate("Judgement", "级别名称不能为空");
    std::array<std::array<bool, kMaxRank + 1>, 2> seen{};
    for (std::size_t i = 0; i < set.levels.size(); ++i) {
        const TriggerLevel& l = set.levels[i];
        const int n = int(i) + 1;
        if (l.rank < 1 || l.rank > kMaxRank)
            //: %1 the level's number in the list
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的级别不在 1 到 3 之间").arg(n);
        bool& twice = seen[l.side == LevelSide::High ? 0 : 1][l.rank];
        if (twice)
            return l.side == LevelSide::High
                     //: %1 the rank
                     ? QCoreApplication::translate("Judgement", "上限的第 %1 级给了两次").arg(l.rank)
                     : QCoreApplication::translate("Judgement", "下限的第 %1 级给了两次").arg(l.rank);
        twice = true;
        if (!std::isfinite(l.threshold))
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的阈值不是有效数字").arg(n);
        if (!std::isfinite(l.deadBand))
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的回差不是有效数字").arg(n);
        if (l.deadBand < 0)
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的回差不能为负").arg(n);
        if (l.quantity == LevelQuantity::Rate && !(l.windowDays > 0 && std::isfinite(l.windowDays)))
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的时间窗须大于 0 天").arg(n);
        if (l.confirm < 1)
            return QCoreApplication::translate("Judgement", "第 %1 个触发值的连续次数至少为 1").arg(n);
    }
    return {};
}

std::vector<QualityRules> defaultQualityRules() { return {QualityRules{}}; }

QualityRules rulesFor(const std::vector<QualityRules>& all, const QString& type)
{
    const QualityRules* general = nullptr;
    for (const QualityRules& r : all) {
        if (!type.isEmpty() && r.type == type)
            return r;
        if (r.type.isEmpty() && !general)
            general = &r;
    }
    return general ? *general : QualityRules{};
}

QString qualityRulesProblem(const QualityRules& r)
{
    if (!(std::isfinite(r.minHz) && std::isfinite(r.maxHz) && r.minHz >= 0 && r.minHz < r.maxHz))
        return QCoreApplication::translate("Judgement", "频率范围须是两个有效数字，下限小于上限");
    if (!(std::isfinite(r.minC) && std::isfinite(r.maxC) && r.minC < r.maxC))
        return QCoreApplication::translate("Judgement", "温度范围须是两个有效数字，下限小于上限");
    if (!(std::isfinite(r.maxJumpC) && r.maxJumpC > 0))
        return QCoreApplication::translate("Judgement", "温度跳变限值须大于 0");
    if (!(std::isfinite(r.stepFactor) && r.stepFactor >= 0))
        return QCoreApplication::translate("Judgement", "突变倍数不能为负（0：不检查）");
    if (r.scatterWindow < 6 || r.scatterWindow > 1000)
        return QCoreApplication::translate("Judgement", "离散度读数个数须在 6 到 1000 之间");
    return {};
}

QString flagsText(std::uint16_t flags, bool english)
{
    struct Name {
        std::uint16_t flag;
        const char* chinese;
        const char* english;
    };
    static const Name kNames[] = {
        {OutOfBand, "频率超出范围", "frequency out of band"},
        {TemperatureRange, "温度超出范围", "temperature out of range"},
        {TemperatureJump, "温度跳变", "temperature jump"},
        {Step, "读数突变", "step in value"},
        {DuplicateTime, "同一时刻读数不同", "another reading at the same instant"},
        {FutureTime, "晚于下载时间", "later than its download"},
        {BeforeInstallation, "早于安装日期", "before installation"},
    };
    QStringList out;
    for (const Name& n : kNames)
        if (flags & n.flag)
            out << pick(english, n.chinese, n.english);
    return out.join(english ? QStringLiteral("; ") : QStringLiteral("；"));
}

// ------------------------------------------------------------------------------------------------

QString JudgeState::toText() const
{
    QString bits;
    for (bool a : active)
        bits += a ? QLatin1Char('1') : QLatin1Char('0');
    QStringList counts;
    for (int b : beyond)
        counts << QString::number(b);
    // 17 significant digits give every double back exactly.
    const QString base = baseline ? QString::number(*baseline, 'g', 17) : QStringLiteral("-");
    return QStringLiteral("1;%1;%2;%3;%4;%5;%6")
        .arg(QString::number(levelSet), QString::number(status), QString::number(baselineUtc), base, bits,
             counts.join(QLatin1Char(',')));
}

std::optional<JudgeState> JudgeState::fromText(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(';'));
    if (f.size() != 7 || f[0] != QLatin1String("1"))
        return std::nullopt;
    JudgeState s;
    bool ok = false;
    s.levelSet = f[1].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const int status = f[2].toInt(&ok);
    if (!ok || status < 0 || status > kMaxRank)
        return std::nullopt;
    s.status = std::uint8_t(status);
    s.baselineUtc = f[3].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    if (f[4] != QLatin1String("-")) {
        const double b = f[4].toDouble(&ok);
        if (!ok || !std::isfinite(b))
            return std::nullopt;
        s.baseline = b;
    }
    for (QChar c : f[5]) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return std::nullopt;
        s.active.push_back(c == QLatin1Char('1'));
    }
    if (!f[6].isEmpty())
        for (const QString& c : f[6].split(QLatin1Char(','))) {
            const int n = c.toInt(&ok);
            if (!ok || n < 0)
                return std::nullopt;
            s.beyond.push_back(n);
        }
    if (s.beyond.size() != s.active.size())
        return std::nullopt;
    return s;
}

// ------------------------------------------------------------------------------------------------

JudgeOutput judgeSeries(const std::vector<JudgeInput>& readings, std::size_t first, const std::vector<LevelSet>& sets,
                        const QualityRules& rules, const QDate& installed, JudgeState* state)
{
    JudgeOutput out;
    JudgeState own;
    JudgeState& st = state ? *state : own;
    const std::size_t n = readings.size();
    if (first >= n)
        return out;
    out.judgements.resize(n - first);

    const std::vector<const LevelSet*> ordered = orderedSets(sets);
    const qint64 installedUtc =
        installed.isValid() ? installed.startOfDay(QTimeZone::utc()).toSecsSinceEpoch() : kSinceEver;
    const bool checkSteps = rules.stepFactor > 0;
    const std::size_t window = std::size_t(std::max(rules.scatterWindow, 0));

    // The judged readings so far (those before `first` too), for rates, steps and the scatter;
    // judgedDiff[k]: how far judged reading k stepped from the one before it (0 for the first).
    std::vector<qint64> judgedUtc;
    std::vector<double> judgedValue;
    std::vector<double> judgedDiff;
    judgedUtc.reserve(n);
    judgedValue.reserve(n);
    judgedDiff.reserve(n);
    const auto keepJudged = [&](const JudgeInput& r) {
        judgedDiff.push_back(judgedValue.empty() ? 0 : std::fabs(r.value - judgedValue.back()));
        judgedUtc.push_back(r.utc);
        judgedValue.push_back(r.value);
    };
    double previousTemperature = NAN;
    for (std::size_t i = 0; i < first; ++i) {
        const JudgeInput& r = readings[i];
        if (judgedReading(r))
            keepJudged(r);
        if (!r.masked && std::isfinite(r.temperatureC))
            previousTemperature = r.temperatureC;
    }

    // Same instants: the group of equal utc that holds readings[first] begins before it.
    std::size_t groupBegin = first;
    while (groupBegin > 0 && readings[groupBegin - 1].utc == readings[first].utc)
        --groupBegin;
    std::size_t groupEnd = groupBegin; // [groupBegin, groupEnd) the group of the current reading
    bool groupDiffers = false;

    // Per level of the current set, where the readings at least its window back end in judgedUtc.
    std::vector<std::size_t> rateEnd;
    const LevelSet* rateSet = nullptr;
    const LevelSet* lastSet = nullptr;
    bool lastSetHasChange = false;

    for (std::size_t i = first; i < n; ++i) {
        const JudgeInput& r = readings[i];
        Judgement& j = out.judgements[i - first];

        // Quality, on every reading.
        if (i >= groupEnd) {
            if (i > first)
                groupBegin = i;
            groupEnd = i + 1;
            groupDiffers = false;
            while (groupEnd < n && readings[groupEnd].utc == r.utc)
                ++groupEnd;
            const double hz = readings[groupBegin].hz;
            for (std::size_t k = groupBegin + 1; k < groupEnd && !groupDiffers; ++k) {
                const double other = readings[k].hz;
                groupDiffers = !(other == hz || (std::isnan(other) && std::isnan(hz)));
            }
        }
        std::uint16_t flags = groupDiffers ? DuplicateTime : 0;
        if (std::isfinite(r.hz) && (r.hz < rules.minHz || r.hz > rules.maxHz))
            flags |= OutOfBand;
        if (std::isfinite(r.temperatureC)) {
            if (r.temperatureC < rules.minC || r.temperatureC > rules.maxC)
                flags |= TemperatureRange;
            if (std::isfinite(previousTemperature) && std::fabs(r.temperatureC - previousTemperature) > rules.maxJumpC)
                flags |= TemperatureJump;
            if (!r.masked)
                previousTemperature = r.temperatureC;
        }
        if (r.downloadedUtc > 0 && r.utc > r.downloadedUtc + 3600)
            flags |= FutureTime;
        if (r.utc < installedUtc)
            flags |= BeforeInstallation;
        if (checkSteps && std::isfinite(r.value) && !judgedValue.empty()) {
            const std::size_t count = std::min(window, judgedValue.size());
            // The count - 1 differences between the last `count` judged readings.
            if (count >= 6 && stepsOut(std::fabs(r.value - judgedValue.back()), rules.stepFactor,
                                       judgedDiff.data() + judgedDiff.size() - count + 1, count - 1))
                flags |= Step;
        }
        j.flags = flags;

        if (!judgedReading(r))
            continue;
        j.judged = true;

        // The set, and the levels' state afresh when it changed.
        const LevelSet* set = setAt(ordered, r.utc);
        const qint64 setId = set ? set->id : 0;
        if (set != lastSet) {
            lastSet = set;
            lastSetHasChange = set && hasChangeLevel(*set);
        }
        const bool needBaseline = lastSetHasChange;
        if (setId != st.levelSet || (set && st.active.size() != set->levels.size()) ||
            st.beyond.size() != st.active.size()) {
            startAfresh(&st, set);
            if (set && set->baselineUtc != st.baselineUtc) {
                st.baselineUtc = set->baselineUtc;
                st.baseline.reset();
            }
            // A baseline before this reading: the first judged reading from its instant on.
            if (needBaseline && !st.baseline) {
                const auto from = std::lower_bound(readings.begin(), readings.begin() + i, st.baselineUtc,
                                                   [](const JudgeInput& x, qint64 t) { return x.utc < t; });
                for (auto it = from; it != readings.begin() + i; ++it)
                    if (judgedReading(*it)) {
                        st.baseline = it->value;
                        break;
                    }
            }
        }
        if (needBaseline && !st.baseline && r.utc >= st.baselineUtc)
            st.baseline = r.value;

        int status = 0;
        int level = -1;
        if (set) {
            j.levelSet = set->id;
            if (rateSet != set) {
                rateSet = set;
                rateEnd.assign(set->levels.size(), 0);
            }
            for (std::size_t k = 0; k < set->levels.size(); ++k) {
                const TriggerLevel& l = set->levels[k];
                double q = r.value;
                if (l.quantity == LevelQuantity::Change) {
                    if (!st.baseline)
                        continue;
                    q = r.value - *st.baseline;
                } else if (l.quantity == LevelQuantity::Rate) {
                    // The latest judged reading at least the window before this one: the end
                    // of those only moves on, as the readings come in time order.
                    const double span = l.windowDays * kDay;
                    std::size_t& end = rateEnd[k];
                    while (end < judgedUtc.size() && double(r.utc - judgedUtc[end]) >= span)
                        ++end;
                    if (end == 0)
                        continue;
                    q = (r.value - judgedValue[end - 1]) / (double(r.utc - judgedUtc[end - 1]) / kDay);
                }
                const bool high = l.side == LevelSide::High;
                const bool beyond = high ? q >= l.threshold : q <= l.threshold;
                st.beyond[k] = beyond ? st.beyond[k] + 1 : 0;
                if (!st.active[k] && st.beyond[k] >= l.confirm)
                    st.active[k] = true;
                else if (st.active[k] && (high ? q < l.threshold - l.deadBand : q > l.threshold + l.deadBand))
                    st.active[k] = false;
            }
            for (std::size_t k = 0; k < set->levels.size(); ++k)
                if (st.active[k] && set->levels[k].rank > status) {
                    status = set->levels[k].rank;
                    level = int(k);
                }
        }
        j.status = std::uint8_t(status);
        j.level = std::int16_t(level);
        if (j.status != st.status)
            out.transitions.push_back(Transition{i, st.status, j.status, j.level, j.levelSet});
        st.status = j.status;
        keepJudged(r);
    }
    return out;
}

Lookback lookbackFor(const std::vector<LevelSet>& sets, const QualityRules& rules)
{
    Lookback out;
    int confirm = 1;
    for (const LevelSet& s : sets)
        for (const TriggerLevel& l : s.levels) {
            if (l.quantity == LevelQuantity::Rate && l.windowDays > 0 && std::isfinite(l.windowDays))
                out.seconds = std::max(out.seconds, qint64(std::ceil(l.windowDays * kDay)));
            confirm = std::max(confirm, l.confirm);
        }
    out.readings = std::max({rules.scatterWindow + 1, confirm, 2});
    return out;
}

qint64 baselineLookbackUtc(const std::vector<LevelSet>& sets, const JudgeState& state, qint64 firstUtc)
{
    const std::vector<const LevelSet*> ordered = orderedSets(sets);
    // The sets that may apply from firstUtc on, in order: the one valid then, and each later one.
    auto it = std::upper_bound(ordered.begin(), ordered.end(), firstUtc,
                               [](qint64 t, const LevelSet* s) { return t < s->fromUtc; });
    if (it != ordered.begin())
        --it;
    qint64 heldUtc = state.baselineUtc;
    bool held = state.baseline.has_value();
    qint64 need = kUntilNow;
    for (; it != ordered.end(); ++it) {
        const LevelSet& s = **it;
        if (s.fromUtc <= firstUtc && s.id == state.levelSet)
            continue; // goes on as it was: no new search
        if (s.baselineUtc != heldUtc) {
            heldUtc = s.baselineUtc;
            held = false;
        }
        if (hasChangeLevel(s) && !held) {
            if (s.baselineUtc < firstUtc)
                need = std::min(need, s.baselineUtc);
            held = true;
        }
    }
    return need;
}

// ------------------------------------------------------------------------------------------------

QString statusName(const LevelSet* set, int status, bool english)
{
    if (status == 0)
        return pick(english, "正常", "Normal");
    if (status < 1 || status > kMaxRank)
        return QString::number(status);
    const QString name = set && set->rankNames.size() == kMaxRank ? set->rankNames[status - 1]
                                                                  : QString::fromUtf8(kRankNames[status - 1]);
    // The operator's own names are kept as typed; the default ones have English words.
    if (english && name == QString::fromUtf8(kRankNames[status - 1]))
        return QString::fromUtf8(kEnglishRankNames[status - 1]);
    return name;
}

QString levelText(const LevelSet& set, int level, const QString& unit, bool english)
{
    if (level < 0 || std::size_t(level) >= set.levels.size())
        return {};
    const TriggerLevel& l = set.levels[std::size_t(level)];
    const QString sign = l.side == LevelSide::High ? QStringLiteral("≥") : QStringLiteral("≤");
    QString quantity;
    QString perUnit = unit;
    switch (l.quantity) {
    case LevelQuantity::Value:
        quantity = pick(english, "数值", "value");
        break;
    case LevelQuantity::Change:
        quantity = pick(english, "累计变化", "change");
        break;
    case LevelQuantity::Rate:
        // %1 the window in days
        quantity = (english ? QStringLiteral("rate over %1 days") : QStringLiteral("变化速率（%1 天）"))
                       .arg(numberText(l.windowDays));
        perUnit = unit + pick(english, "/天", "/day");
        break;
    }
    QString text = QStringLiteral("%1%2%3 %4 %5")
                       .arg(statusName(&set, l.rank, english), english ? QStringLiteral(": ") : QStringLiteral("："),
                            quantity, sign, numberText(l.threshold));
    if (!perUnit.isEmpty())
        text += QLatin1Char(' ') + perUnit;
    QStringList terms;
    if (l.confirm > 1)
        terms << (english ? QStringLiteral("%1 in a row") : QStringLiteral("连续 %1 次")).arg(l.confirm);
    if (l.deadBand > 0)
        terms << (english ? QStringLiteral("dead band %1") : QStringLiteral("回差 %1")).arg(numberText(l.deadBand));
    if (!terms.isEmpty())
        text += english ? QStringLiteral(" (%1)").arg(terms.join(QStringLiteral(", ")))
                        : QStringLiteral("（%1）").arg(terms.join(QStringLiteral("，")));
    return text;
}

bool Verdict::raised() const
{
    return flagged > 0 || std::any_of(events.begin(), events.end(), [](const LevelEvent& e) { return e.to > e.from; });
}

int Verdict::atAlarm() const
{
    return int(std::count_if(changed.begin(), changed.end(), [](const GaugeStatus& g) { return g.status >= 2; }));
}

QString verdictText(const Verdict& verdict, bool english)
{
    QStringList parts;
    const auto plural = [](qint64 n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
    };
    if (const qint64 n = qint64(verdict.changed.size()); n > 0)
        parts << (english ? plural(n, "gauge changed status", "gauges changed status")
                          : QStringLiteral("%1 个测点状态改变").arg(n));
    // Rank 2 and above, named by the default name of rank 2: the gauges may have names of their own.
    if (const int n = verdict.atAlarm(); n > 0)
        parts << (english ? plural(n, "gauge at its alarm level or above", "gauges at their alarm level or above")
                          : QStringLiteral("%1 个测点超过%2值").arg(n).arg(QString::fromUtf8(kRankNames[1])));
    if (verdict.flagged > 0)
        parts << (english ? plural(verdict.flagged, "reading flagged", "readings flagged")
                          : QStringLiteral("%1 条读数有质量标记").arg(verdict.flagged));
    return parts.join(english ? QStringLiteral(", ") : QStringLiteral("，"));
}

} // namespace archive
