#pragma once

#include <cstdio>
#include <memory>

// A C stream that is closed when its handle goes; null when fopen failed.
// The closing fclose reports nothing, so a writer that must know whether its
// bytes arrived checks fflush and ferror itself first.
struct FileCloser
{
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
