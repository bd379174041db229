// Console progress of the long steps of a conversion.
#pragma once

#include <cstdint>
#include <string>

namespace kav {

// One step's progress as "\r-> label: 42%" lines that overwrite each other. Steps of less
// than kLargeWork units of work print nothing, so small conversions keep a short transcript.
class Progress {
public:
    static const uint64_t kLargeWork = 2000000;

    Progress(std::string label, uint64_t total);
    Progress(std::string label, uint64_t total, bool shown);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Cheap unless the shown percentage changes.
    void Update(uint64_t done) {
        if (shown && done * 100 >= nextAt * total) Print(done);
    }
    // Ends the line; also called by the destructor.
    void Finish();

private:
    void Print(uint64_t done);

    std::string label;
    uint64_t total;
    bool shown;
    uint64_t nextAt = 0;  // the next percentage to print
};

}  // namespace kav
