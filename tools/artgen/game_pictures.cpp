#include "tools/artgen/pictures.h"
#include "tools/uiart/uiart.h"

#include <utility>

namespace artgen {

namespace {

GamePicture Weighted(int id, Drawing drawing, double weight) {
    drawing.weight = weight;
    return {id, std::move(drawing)};
}

} // namespace

std::vector<GamePicture> GamePictures() {
    // A picture's weight in the shared palette follows how much of the time and of the window
    // it fills. The board is always there, large and dithered: dithering only hides a palette
    // that is dense around its colours, and its tinted goal squares are a small cluster of their
    // own. The pieces are everywhere and their shading is not dithered. The strips and faces
    // need few colours and the goal strip's are the board's; a burst is over in a moment.
    std::vector<GamePicture> pictures;
    pictures.push_back(Weighted(1006, BoardDrawing(), 6));
    for (int level = 1; level <= 5; ++level)
        pictures.push_back(Weighted(1006 + level, GlowDrawing(level), 1));
    pictures.push_back(Weighted(1026, GoalStripDrawing(), 0.5));
    pictures.push_back(Weighted(1013, ExplosionDrawing(), 0.5));
    pictures.push_back(Weighted(1014, PieceSheetDrawing(2), 1.5));
    pictures.push_back(Weighted(1015, PieceSheetDrawing(1), 1.5));
    pictures.push_back(Weighted(1016, uiart::StatusStrips(false), 0.6));
    pictures.push_back(Weighted(1017, uiart::StatusStrips(true), 0.6));
    pictures.push_back(Weighted(1012, uiart::ButtonFaces(), 0.6));
    return pictures;
}

std::vector<IndexedImage> SharePalette(const std::vector<GamePicture>& pictures) {
    std::vector<const Drawing*> drawings;
    for (const GamePicture& p : pictures)
        drawings.push_back(&p.drawing);
    return QuantizeTogether(drawings,
                            {kMarkerGreen, kMarkerBlue, kMarkerYellow, kMarkerRed, kMarkerCyan});
}

} // namespace artgen
