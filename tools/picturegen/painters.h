// The painters of the production's pictures: each returns a finished canvas.
#pragma once

#include "paint_kit.h"

namespace paint {

Canvas paintNebula();        // picture 1, 800x600
Canvas paintPasture();       // picture 2, 800x600
Canvas paintJulia();         // picture 3, 1024x768
Canvas paintMoonLake();      // picture 4, 800x600
Canvas paintSpheres();       // picture 5, 800x600
Canvas paintRingedPlanet();  // picture 6, 800x600
Canvas paintAurora();        // picture 7, 800x600
Canvas paintOpeningRings();  // 256x256
Canvas paintClosingRings();  // 256x256

// Raw RGB rows: the 200x95 banner on pure blue, the 64x51 sprite on magenta.
std::vector<unsigned char> paintBanner();
std::vector<unsigned char> paintSprite();

}  // namespace paint
