#include "render/AudioWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace render {

AudioWriter::~AudioWriter() {
    if (file) sf_close(file);
    if (heldBack) std::fclose(heldBack);
}

bool AudioWriter::open(const std::string& target, int sampleRate, const OutputFormat& format, int32_t maxFrames,
                       std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format.sndfileFormat;
    file = sf_open(target.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + target + ": " + sf_strerror(nullptr);
        return false;
    }
    // Integer formats clip at full scale instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    path = target;
    interleaved.assign(static_cast<size_t>(maxFrames) * 2, 0.0f);
    return true;
}

bool AudioWriter::normalizeTo(float targetPeak, std::string& error) {
    heldBack = std::tmpfile();
    if (!heldBack) {
        error = "cannot make a temporary file to normalize the output";
        return false;
    }
    target = targetPeak;
    return true;
}

bool AudioWriter::write(const float* left, const float* right, int32_t frames, std::string& error) {
    for (int32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            float sample = (c == 0 ? left : right)[i];
            if (!std::isfinite(sample)) {
                sample = 0.0f;
                ++nonFinite;
            }
            interleaved[2 * i + c] = sample;
        }
    }
    if (!heldBack) return emit(interleaved.data(), frames, error);
    for (int32_t i = 0; i < 2 * frames; ++i) heldPeak = std::max(heldPeak, std::fabs(interleaved[i]));
    if (std::fwrite(interleaved.data(), sizeof(float) * 2, static_cast<size_t>(frames), heldBack) !=
        static_cast<size_t>(frames)) {
        error = "writing the temporary file for normalizing failed";
        return false;
    }
    return true;
}

bool AudioWriter::emit(float* samples, int32_t frames, std::string& error) {
    for (int32_t i = 0; i < 2 * frames; ++i) {
        float sample = samples[i] * gain;
        float level = std::fabs(sample);
        peakLevel = std::max(peakLevel, level);
        if (level > 1.0f) ++clipped;
        samples[i] = sample;
    }
    if (sf_writef_float(file, samples, frames) != frames) {
        error = "writing " + path + " failed: " + sf_strerror(file);
        return false;
    }
    return true;
}

bool AudioWriter::close(std::string& error) {
    if (!file) return true;
    bool ok = true;
    if (heldBack) {
        if (heldPeak >= kSilentPeak) {
            gain = target / heldPeak;
            // Rounding must not carry the peak past the target (and a 0 dBFS target past full scale).
            while (heldPeak * gain > target) gain = std::nextafter(gain, 0.0f);
        }
        std::rewind(heldBack);
        int32_t blockFrames = static_cast<int32_t>(interleaved.size() / 2);
        for (size_t frames; ok && (frames = std::fread(interleaved.data(), sizeof(float) * 2,
                                                       static_cast<size_t>(blockFrames), heldBack)) > 0;)
            ok = emit(interleaved.data(), static_cast<int32_t>(frames), error);
        if (ok && std::ferror(heldBack)) {
            error = "reading the temporary file for normalizing failed";
            ok = false;
        }
        std::fclose(heldBack);
        heldBack = nullptr;
    }
    int status = sf_close(file);
    file = nullptr;
    if (ok && status != 0) {
        error = "finishing " + path + " failed: " + sf_error_number(status);
        return false;
    }
    return ok;
}

}  // namespace render
