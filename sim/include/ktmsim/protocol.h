// The instrument's command protocol: command lines in, reply bytes out.
//
//   DIR                  -> "A-J"
//   DIR x                -> one file name per line
//   COPY x name          -> the file name, then one record per line
//   COPY x               -> for each file of x: its name line, then its records
//   DEL x                -> OK (removes every file of x; components stay)
//   DELDATA x            -> OK (empties every file of x, names stay)
//   NEWFILE x name       -> OK, or ERR if the name exists or is not 1-20 characters 33..126
//   DIRPART x            -> one "A001=QRVA000001" line per component
//   WR code name         -> OK, or ERR for a bad code or name or a 201st component
//   anything else        -> ERR
// Every reply line ends in CR LF; an empty result is one bare CR LF. Fields are separated by
// exactly one space; x is an upper-case letter A to J.
#pragma once

#include "ktmsim/model.h"

#include <string>
#include <string_view>
#include <vector>

namespace ktmsim {

class Storage;

// Splits incoming bytes into command lines at LF, dropping one CR before it. A command may
// arrive in any number of pieces. A line longer than kMaxLine is cut there (it can only be
// answered with ERR) and the rest of it, up to its LF, is discarded, so a client that never
// sends a line end cannot make the buffer grow.
class LineSplitter {
public:
    static constexpr std::size_t kMaxLine = 256;
    std::vector<std::string> feed(std::string_view bytes);
    bool hasPartialLine() const { return !buffer_.empty() || discarding_; }

private:
    std::string buffer_;
    bool discarding_ = false;
};

class Protocol {
public:
    // `storage` may be null: the instrument then lives in memory only.
    Protocol(Instrument& instrument, Storage* storage) : inst_(instrument), storage_(storage) {}

    // Executes one command line (without its line end) and returns the reply bytes.
    // An empty or blank line gets no reply at all (empty string).
    std::string execute(std::string_view line);

    static constexpr std::string_view kOk = "OK\r\n";
    static constexpr std::string_view kErr = "ERR\r\n";
    static constexpr std::string_view kEmpty = "\r\n";

private:
    std::string listFiles(const Partition& p) const;
    std::string copyPartition(const Partition& p) const;
    std::string deletePartition(char x, bool keepNames);
    std::string newFile(char x, std::string_view name);
    std::string writeComponent(std::string_view code, std::string_view name);

    Instrument& inst_;
    Storage* storage_;
};

} // namespace ktmsim
