#include "ktmsim/engine.h"

#include <algorithm>
#include <charconv>

namespace ktmsim {

namespace {

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

bool parseNumber(std::string_view s, long long& out)
{
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

// The end of the line (just after its LF) nearest the middle of the reply, the last line's end
// excluded; 0 when the reply is one line.
std::size_t lineBoundaryNearMiddle(const std::string& reply)
{
    std::size_t best = 0;
    const std::size_t middle = reply.size() / 2;
    for (std::size_t at = reply.find('\n'); at != std::string::npos && at + 1 < reply.size(); at = reply.find('\n', at + 1)) {
        const std::size_t end = at + 1;
        const auto distance = [middle](std::size_t x) { return x > middle ? x - middle : middle - x; };
        if (best == 0 || distance(end) < distance(best)) best = end;
    }
    return best;
}

constexpr long long kNsPerTenthByteSecond = 10'000'000'000LL; // ns per second * 10 bits per byte

} // namespace

std::optional<FaultRule> parseFaultRule(std::string_view text, std::string* error)
{
    auto fail = [&](const std::string& why) -> std::optional<FaultRule> {
        if (error) *error = "bad fault '" + std::string(text) + "': " + why;
        return std::nullopt;
    };
    FaultRule rule{};
    std::string_view body = text;
    if (auto at = body.find('@'); at != std::string_view::npos) {
        long long n = 0;
        if (!parseNumber(body.substr(at + 1), n) || n < 1) return fail("@N needs a command number from 1");
        rule.nth = static_cast<std::uint64_t>(n);
        body = body.substr(0, at);
    }
    std::string_view kind = body, arg;
    bool hasArg = false;
    if (auto colon = body.find(':'); colon != std::string_view::npos) {
        kind = body.substr(0, colon);
        arg = body.substr(colon + 1);
        hasArg = true;
    }
    long long value = 0;
    if (hasArg && (!parseNumber(arg, value) || value < 0 || value > 3'600'000))
        return fail("the argument must be a number from 0 to 3600000");
    if (kind == "drop") rule.kind = FaultRule::Kind::Drop;
    else if (kind == "err") rule.kind = FaultRule::Kind::Err;
    else if (kind == "hangup") rule.kind = FaultRule::Kind::HangUp;
    else if (kind == "late") rule.kind = FaultRule::Kind::Late;
    else if (kind == "split") rule.kind = FaultRule::Kind::Split;
    else if (kind == "pause") rule.kind = FaultRule::Kind::Pause;
    else if (kind == "garbage") rule.kind = FaultRule::Kind::Garbage;
    else return fail("unknown kind (drop, late:MS, split:MS, pause:MS, err, garbage[:LEN], hangup)");

    const bool timed = rule.kind == FaultRule::Kind::Late || rule.kind == FaultRule::Kind::Split ||
                       rule.kind == FaultRule::Kind::Pause;
    if (hasArg && !timed && rule.kind != FaultRule::Kind::Garbage) return fail("this kind takes no argument");
    if (!hasArg && timed)
        return fail("needs a pause in milliseconds, e.g. late:1500");
    if (rule.kind == FaultRule::Kind::Garbage) {
        if (!hasArg) value = 32;
        if (value < 1 || value > 65536) return fail("garbage length must be 1 to 65536");
    }
    rule.arg = static_cast<int>(value);
    return rule;
}

std::string garbageBytes(std::uint64_t n, int length)
{
    std::string out;
    std::uint64_t s = n * 6364136223846793005ull + 1442695040888963407ull;
    for (int i = 0; i < length; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const unsigned r = static_cast<unsigned>(s >> 33);
        unsigned char c;
        if (r % 5 == 0) {
            c = static_cast<unsigned char>(r / 5 % 32); // a control byte, never CR or LF
            if (c == '\r' || c == '\n') c = 0x1B;
        } else {
            c = static_cast<unsigned char>(0x80 + r / 5 % 128);
        }
        out += static_cast<char>(c);
    }
    return out;
}

LineEngine::LineEngine(Protocol& protocol, LineOptions options)
    : protocol_(protocol), options_(std::move(options))
{
    if (options_.baud < 1) options_.baud = 1;
    rate_ = options_.baud / 10.0;
    chunk_ = std::max<std::size_t>(1, static_cast<std::size_t>(options_.baud) / 1000);
}

void LineEngine::receive(std::string_view bytes, TimePoint now)
{
    for (const auto& line : splitter_.feed(bytes)) {
        if (std::any_of(queue_.begin(), queue_.end(), [](const Piece& p) { return p.hangUp; })) return;
        if (isBlank(line)) continue;
        handleCommand(line, now);
    }
}

void LineEngine::handleCommand(const std::string& line, TimePoint now)
{
    ++commands_;
    bool hangUp = false, drop = false, err = false;
    int garbage = -1, split = -1, pause = -1;
    Millis late{0};
    for (const auto& r : options_.faults) {
        if (r.nth != 0 && r.nth != commands_) continue;
        switch (r.kind) {
        case FaultRule::Kind::HangUp: hangUp = true; break;
        case FaultRule::Kind::Drop: drop = true; break;
        case FaultRule::Kind::Err: err = true; break;
        case FaultRule::Kind::Garbage: garbage = r.arg; break;
        case FaultRule::Kind::Late: late = Millis(r.arg); break;
        case FaultRule::Kind::Split: split = r.arg; break;
        case FaultRule::Kind::Pause: pause = r.arg; break;
        }
    }
    if (hangUp) {
        Piece p;
        p.hangUp = true;
        p.notBefore = now;
        queue_.push_back(std::move(p));
        return;
    }
    std::string reply = err ? std::string(Protocol::kErr) : protocol_.execute(line);
    if (drop || reply.empty()) return;
    if (garbage > 0) reply = garbageBytes(commands_, garbage);

    const TimePoint start = now + late;
    std::size_t cut = 0; // where the reply stops for a while; 0 = it does not
    if (split >= 0 && reply.size() >= 2) {
        cut = reply.size() / 2;
    } else if (pause >= 0) {
        cut = lineBoundaryNearMiddle(reply);
        split = pause;
    }
    if (cut > 0) {
        const std::size_t half = cut;
        Piece first, second;
        first.bytes = reply.substr(0, half);
        first.notBefore = start;
        second.bytes = reply.substr(half);
        second.notBefore = start;
        second.gapAfterPrev = Millis(split);
        queue_.push_back(std::move(first));
        queue_.push_back(std::move(second));
    } else {
        Piece p;
        p.bytes = std::move(reply);
        p.notBefore = start;
        queue_.push_back(std::move(p));
    }
}

TimePoint LineEngine::readyAt(const Piece& p) const
{
    return std::max(p.notBefore, lastFinish_ + p.gapAfterPrev);
}

// Bytes the line could have carried since the burst began, plus one chunk that goes at once.
std::size_t LineEngine::allowance(TimePoint now) const
{
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - burstStart_).count();
    if (ns <= 0) return chunk_;
    return static_cast<std::size_t>(ns / 1000 * options_.baud / (kNsPerTenthByteSecond / 1000)) + chunk_;
}

std::string_view LineEngine::writable(TimePoint now)
{
    if (queue_.empty()) return {};
    const Piece& head = queue_.front();
    if (head.hangUp || now < readyAt(head)) return {};
    std::string_view rest = std::string_view(head.bytes).substr(head.offset);
    if (!options_.paced) return rest;
    if (!burst_) {
        burst_ = true;
        burstStart_ = now;
        burstSent_ = 0;
    }
    // If the writer fell far behind (the reader stopped reading), do not make up for the lost time
    // in one big burst: keep at most 10 chunks of credit.
    const std::size_t maxCredit = 10 * chunk_;
    std::size_t allowed = allowance(now);
    if (allowed > burstSent_ + maxCredit) {
        const std::size_t excess = allowed - burstSent_ - maxCredit;
        burstStart_ += std::chrono::nanoseconds(static_cast<long long>(excess) * (kNsPerTenthByteSecond / options_.baud));
        allowed = allowance(now);
    }
    if (allowed <= burstSent_) return {};
    return rest.substr(0, allowed - burstSent_);
}

void LineEngine::consumed(std::size_t n, TimePoint now)
{
    if (queue_.empty() || n == 0) return;
    Piece& head = queue_.front();
    n = std::min(n, head.bytes.size() - head.offset);
    head.offset += n;
    burstSent_ += n;
    if (head.offset < head.bytes.size()) return;
    queue_.pop_front();
    lastFinish_ = now;
    if (queue_.empty() || queue_.front().hangUp || readyAt(queue_.front()) > now) burst_ = false;
}

std::optional<TimePoint> LineEngine::nextWake(TimePoint now) const
{
    if (queue_.empty()) return std::nullopt;
    const Piece& head = queue_.front();
    const TimePoint ready = readyAt(head);
    if (ready > now || head.hangUp || !options_.paced || !burst_) return std::max(ready, now);
    const std::size_t rest = head.bytes.size() - head.offset;
    const std::size_t target = burstSent_ + std::min(chunk_, rest);
    if (allowance(now) >= target) return now;
    // Smallest time at which allowance() reaches target.
    const long long bytes = static_cast<long long>(target - chunk_);
    const long long us = (bytes * (kNsPerTenthByteSecond / 1000) + options_.baud - 1) / options_.baud;
    const TimePoint at = burstStart_ + std::chrono::microseconds(us);
    return std::max(at, now);
}

bool LineEngine::hangUpDue(TimePoint now) const
{
    return !queue_.empty() && queue_.front().hangUp && readyAt(queue_.front()) <= now;
}

} // namespace ktmsim
