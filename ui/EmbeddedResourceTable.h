#pragma once

#include "QnxEmbeddedFiles.h"

// The program's compiled-in files: the three Wi-Fi upgrade pages and the
// layout file of every language folder, and the glyphs, each under its key
// "/Upgrade/qnxupgrade/<folder>/<file>". The screen facade registers them
// once at start-up:
//     QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
class EmbeddedResourceTable
{
public:
    // 90 pages (15, 16, 17 of each folder in table order), then the 30
    // layout files, then the glyphs 0-9, percent and period.
    static constexpr int RowCount = 132;

    // RowCount rows, built on the first call (thread-safe) and valid until
    // the program ends. The bytes live in the program's read-only data.
    static const QnxEmbeddedFiles::KeyAndResource* Rows();

    EmbeddedResourceTable() = delete;
};
