// The picture of a measured stream: a title line, the waveform of each channel (the lowest and
// highest sample of each pixel column, the RMS inside it) above a spectrogram on a logarithmic
// frequency axis with a decibel colour scale and its legend, time along the bottom. Fed with
// the level meter's blocks and the spectrum analyser's columns (one of each per pixel column of
// the plots reads best: see PlotWidth), drawn with Cairo, encoded as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/analysis/SVFrequencyMeter.h"
#include "sonvera/analysis/SVLevelMeter.h"

namespace sonvera {

struct TSVPictureArea {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

class TSVAnalysisPicture {
public:
    static constexpr int32_t KMinWidth = 480, KMinHeight = 320, KMaxSide = 8192;
    static constexpr float KLowestDecibels = -120.0f; // the colour scale's floor

    // A size outside KMinWidth..KMaxSide by KMinHeight..KMaxSide is refused with EArgumentError.
    TSVAnalysisPicture(int32_t AWidth, int32_t AHeight);

    void SetTitle(const std::string& AValue) { FTitle = AValue; }
    // The stream's length in seconds and its channel names ("L", "R"), for the axes.
    void SetDuration(double ASeconds) { FDuration = ASeconds; }
    void SetChannelNames(std::vector<std::string> ANames) { FChannelNames = std::move(ANames); }
    void AddLevels(const TSVLevels& ALevels) { FLevels.push_back(ALevels); }
    void AddSpectrum(const TSVFrequencyColumn& AColumn) { FSpectra.push_back(AColumn); }

    // The pixel columns of the plots: the number of level blocks and spectra that fill them.
    int32_t PlotWidth() const { return SpectrogramArea().Width; }
    // Where the channel lanes and the spectrogram are drawn.
    TSVPictureArea WaveformArea() const;
    TSVPictureArea SpectrogramArea() const;
    // The frequency at the centre of a pixel row of the spectrogram, on its axis.
    double FrequencyOfRow(int32_t ARow) const;

    // The picture as PNG bytes; Cairo's failure raises an Exception naming its cause.
    std::string EncodePng() const;

private:
    double LowestFrequency() const;
    double HighestFrequency() const;

    int32_t FWidth;
    int32_t FHeight;
    std::string FTitle;
    double FDuration = 0;
    std::vector<std::string> FChannelNames;
    std::vector<TSVLevels> FLevels;
    std::vector<TSVFrequencyColumn> FSpectra;
};

} // namespace sonvera
