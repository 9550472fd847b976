// The 100,000-row results file the load benchmarks read: half the names available, each with
// link and rank numbers, the rest marked "-".
#pragma once

#include "results/ResultsFile.h"

#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <unistd.h>

namespace bench {

constexpr int ResultsFileRows = 100000;

inline void FillResultList(results::ResultList &list, int rows = ResultsFileRows) {
    std::mt19937 random(1);
    for (int i = 0; i < rows; ++i) {
        const bool available = random() % 2 == 0;
        auto row = list.Append();
        row->SetCaption("keyword" + std::to_string(i) + (i % 3 ? ".com" : "-fast.net"));
        row->AppendSubItem(i % 3 ? "com" : "net");
        row->AppendSubItem(available ? "Yes" : "No");
        row->AppendSubItem(available ? std::to_string(random() % 10000000) : "-");
        row->AppendSubItem(available ? std::to_string(random() % 5000000) : "-");
        row->SetChecked(available);
    }
}

// A results file filled by FillResultList in the temporary folder, removed with the object.
class SampleResultsFileOnDisk {
public:
    SampleResultsFileOnDisk()
        : path_((std::filesystem::temp_directory_path() /
                 ("nimbrel-bench-" + std::to_string(::getpid()) + ".nbr"))
                    .string()) {
        results::ResultList list;
        FillResultList(list);
        results::WriteResultsFile(path_, list);
    }
    ~SampleResultsFileOnDisk() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    SampleResultsFileOnDisk(const SampleResultsFileOnDisk &) = delete;
    SampleResultsFileOnDisk &operator=(const SampleResultsFileOnDisk &) = delete;

    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

// The file every benchmark of a process reads: written on first use, removed at exit. (A
// function given to atexit while the path was being made would run after the path is gone.)
inline const std::string &SampleResultsFile() {
    static const SampleResultsFileOnDisk file;
    return file.Path();
}

} // namespace bench
