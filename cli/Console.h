#pragma once

#include <QString>
#include <cstdio>
#include <optional>

// The command line's two streams: results on standard output, messages and progress on
// standard error. The progress line is redrawn in place and only ever shown on a terminal; a
// message first ends it, so the two never share a line.
namespace cli {

class Console {
public:
    // progress: whether a progress line may be drawn (standard error is a terminal and the
    // operator did not ask for quiet). quiet: notes (success messages) are left out.
    Console(std::FILE* out, std::FILE* err, bool progress, bool quiet);
    ~Console();

    // Whether the stream is a terminal.
    static bool isTerminal(std::FILE* stream);

    void out(const QString& text); // as given
    void outBytes(const QByteArray& bytes);
    void error(const QString& text);    // a line on standard error, always
    void note(const QString& text);     // a line on standard error unless quiet
    void progress(const QString& line); // redraws the progress line (nothing unless enabled)
    void endProgress();                 // ends a drawn progress line
    // Writes what standard output still holds; false once any result could not be written.
    bool flushOut();
    // Standard output was closed before the program started: every result written to it
    // counts as not written (with `error` as the reason).
    void outClosedAtStart(int error) { m_closedAtStart = error; }
    // Whether results written to standard output can still get there.
    bool outUsable() const { return m_closedAtStart == 0 && !m_outFailure; }
    // Says on standard error, once, that results could not be written and why; false when all
    // were written. `due`: results are yet to come, so a standard output closed at start is a
    // failure already.
    bool reportOutFailure(bool due = false);

    bool progressEnabled() const { return m_progress; }
    bool quiet() const { return m_quiet; }
    std::FILE* outStream() const { return m_out; }

private:
    void line(const QString& text);
    void checkOut(bool written);
    void outUnavailable(int error);

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_progress;
    bool m_quiet;
    bool m_lineOpen = false;
    QString m_lastProgress;
    std::optional<QString> m_outFailure; // the system's reason for the first result not written
    bool m_outClosed = false;            // that was a reader gone away (a closed pipe, "| head")
    bool m_outFailureSaid = false;
    int m_closedAtStart = 0;
};

} // namespace cli
