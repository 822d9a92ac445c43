#pragma once

#include <QString>
#include <cstdio>

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
    void flushOut();

    bool progressEnabled() const { return m_progress; }
    bool quiet() const { return m_quiet; }
    std::FILE* outStream() const { return m_out; }

private:
    void line(const QString& text);

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_progress;
    bool m_quiet;
    bool m_lineOpen = false;
    QString m_lastProgress;
};

} // namespace cli
