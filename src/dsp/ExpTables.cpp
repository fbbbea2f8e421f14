#include "dsp/ExpTables.h"

#include <cmath>
#include <mutex>

namespace ExpTables {

namespace {

struct Table {
    float integer[256];
    float fraction[1025];
};

Table exp2Table, expETable, exp10Table;
std::once_flag filled;

void build(Table& table, double base) {
    for (int i = 0; i < 256; ++i) {
        double value = std::pow(base, static_cast<double>(static_cast<float>(i)));
        table.integer[i] = static_cast<float>(value);  // beyond the float range: +infinity
    }
    for (int i = 0; i <= 1024; ++i) {
        float exponent = static_cast<float>(i) * (1.0f / 1024.0f);
        table.fraction[i] = static_cast<float>(std::pow(base, static_cast<double>(exponent)));
    }
}

void buildAll() {
    build(exp2Table, 2.0);
    // The base is the single-precision e, as the tables have always used.
    build(expETable, static_cast<double>(2.7182817459106445f));
    build(exp10Table, 10.0);
}

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

}  // namespace

// The contents never change, so filling once per process gives what refilling at
// every construction would, without rewriting tables that other instances read.
void fill() { std::call_once(filled, buildAll); }

float fastExp2(float x) { return lookup(exp2Table, x); }
float fastExpE(float x) { return lookup(expETable, x); }
float fastExp10(float x) { return lookup(exp10Table, x); }

}  // namespace ExpTables
