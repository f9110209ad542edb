// Finds a chessboard's inner corners in one camera's frame, to a fraction of a pixel. The grey
// pictures it searches are its own and kept from frame to frame: a live feed allocates nothing
// of ours once warm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ArgbView.h"
#include "StereoCalibration.h"

class ChessboardFinder
{
public:
    explicit ChessboardFinder(const StereoBoard& board);
    ~ChessboardFinder();
    ChessboardFinder(const ChessboardFinder&) = delete;
    ChessboardFinder& operator=(const ChessboardFinder&) = delete;

    // The picture to search next, made grey; false when it is not a picture.
    bool SetFrame(const ArgbView& frame);
    bool SetGrey(const uint8_t* grey, size_t rowBytes, int width, int height);
    int width() const { return mWidth; }
    int height() const { return mHeight; }

    // The board's corners as x, y pairs, row by row of the board; false, and out_corners empty,
    // when the board is not there whole. Live looks for it at half the size, for speed;
    // otherwise at full size.
    bool Find(bool live, std::vector<float>& out_corners);

private:
    struct Pictures;

    bool FindCorners(bool live, std::vector<float>& out_corners);

    StereoBoard mBoard;
    std::unique_ptr<Pictures> mPictures;
    int mWidth = 0, mHeight = 0;
};
