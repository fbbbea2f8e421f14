// Table-based exponentials for arguments 0 <= x < 256, shared by all plug-in objects.
#pragma once

namespace ExpTables {

// Fills the tables; called by every plug-in constructor, always with the same contents.
void fill();

float fastExp2(float x);
float fastExpE(float x);
float fastExp10(float x);

}  // namespace ExpTables

using ExpTables::fastExp10;
using ExpTables::fastExp2;
using ExpTables::fastExpE;
