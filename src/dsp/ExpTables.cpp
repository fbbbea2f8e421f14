#include "dsp/ExpTables.h"

#include <cmath>
#include <mutex>

namespace ExpTables {

Table exp2Table, expETable, exp10Table;

namespace {

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

}  // namespace

// The contents never change, so filling once per process gives what refilling at
// every construction would, without rewriting tables that other instances read.
void fill() { std::call_once(filled, buildAll); }

}  // namespace ExpTables
