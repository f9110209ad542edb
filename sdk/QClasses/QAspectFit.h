// Where a picture goes in a frame of another shape: as large as fits, its aspect kept, centred;
// what it leaves uncovered are the bars.
#pragma once

struct QAspectFit
{
    int x = 0, y = 0, width = 0, height = 0;

    // Empty for an empty picture or frame.
    static QAspectFit Inside(int in_pictureWidth, int in_pictureHeight, int in_frameWidth,
                             int in_frameHeight);
    bool fills(int in_frameWidth, int in_frameHeight) const
    {
        return x == 0 && y == 0 && width == in_frameWidth && height == in_frameHeight;
    }
};
