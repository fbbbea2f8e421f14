// Table-based exponentials for arguments 0 <= x < 256, shared by all plug-in objects.
// The lookups are inline: the control-rate code calls them for every voice at every
// tick, and inlined they overlap instead of queueing behind one call after another.
#pragma once

namespace ExpTables {

// base^i for whole i, and base^(j / 1024) for j = 0..1024.
struct Table {
    float integer[256];
    float fraction[1025];
};

extern Table exp2Table, expETable, exp10Table;

// Fills the tables; called by every plug-in constructor, always with the same contents.
void fill();

inline float lookup(const Table& table, float x) {
    // Callers keep x in [0, 256); the guard only keeps a NaN or a stray value from
    // indexing outside the tables.
    if (!(x >= 0.0f)) x = 0.0f;
    if (x >= 255.99f) x = 255.99f;
    int i = static_cast<int>(x);
    float f = (x - static_cast<float>(i)) * 1024.0f;
    int j = static_cast<int>(f);
    float m = table.fraction[j] + (table.fraction[j + 1] - table.fraction[j]) * (f - static_cast<float>(j));
    return m * table.integer[i];
}

inline float fastExp2(float x) { return lookup(exp2Table, x); }
inline float fastExpE(float x) { return lookup(expETable, x); }
inline float fastExp10(float x) { return lookup(exp10Table, x); }

}  // namespace ExpTables

using ExpTables::fastExp10;
using ExpTables::fastExp2;
using ExpTables::fastExpE;
