// Indices of the entries tests set and read by number, looked up in the parameter table
// by name when compiled: a test cannot hold an index the table has moved.
#pragma once

#include <cstdint>

#include "framework/ParamDesc.h"

namespace param {

inline constexpr int32_t kVolume = paramIndex("Volume");
inline constexpr int32_t kPan = paramIndex("Pan");
inline constexpr int32_t kModSrc = paramIndex("ModSrc");
inline constexpr int32_t kBndRng = paramIndex("BndRng");
inline constexpr int32_t kOsc1PW = paramIndex("Osc1PW");
inline constexpr int32_t kOsc2PW = paramIndex("Osc2PW");
inline constexpr int32_t kLfoForm = paramIndex("LfoForm");
inline constexpr int32_t kLfoSync = paramIndex("LfoSync");
inline constexpr int32_t kLfoFreq = paramIndex("LfoFreq");
inline constexpr int32_t kLfoAM = paramIndex("LfoAM");
inline constexpr int32_t kCutoff = paramIndex("Cutoff");
inline constexpr int32_t kReso = paramIndex("Reso");
inline constexpr int32_t kAttack = paramIndex("Attack");
inline constexpr int32_t kMono = paramIndex("Mono");
inline constexpr int32_t kFollowA = paramIndex("FollowA");
inline constexpr int32_t kFollowD = paramIndex("FollowD");
inline constexpr int32_t kModCh = paramIndex("ModCh");
inline constexpr int32_t kCarSt = paramIndex("CarSt");
inline constexpr int32_t kDlyLv = paramIndex("DlyLv");
inline constexpr int32_t kChrsLv = paramIndex("ChrsLv");
inline constexpr int32_t kRevLevel = paramIndex("RevLevel");
inline constexpr int32_t kMixCar = paramIndex("MixCar");
inline constexpr int32_t kMixMod = paramIndex("MixMod");
inline constexpr int32_t kMixVoc = paramIndex("MixVoc");
inline constexpr int32_t kSetFil1 = paramIndex("SetFil1");
inline constexpr int32_t kSetFil2 = paramIndex("SetFil2");
inline constexpr int32_t kSetFil3 = paramIndex("SetFil3");
inline constexpr int32_t kFile1 = paramIndex("File1");
inline constexpr int32_t kFile2 = paramIndex("File2");
inline constexpr int32_t kFile3 = paramIndex("File3");
inline constexpr int32_t kFile4 = paramIndex("File4");

}  // namespace param
