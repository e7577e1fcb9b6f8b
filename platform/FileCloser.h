#pragma once
// One owner for a C stdio stream: a file opened with fopen is closed on every
// way out of the code that opened it.

#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// An open stream, or none; closing it early is `std::fclose(file.release())`
// when the caller needs fclose's answer.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
