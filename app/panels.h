// The four control panels and their widgets, in panel pixels (x from the panel's left edge,
// y up from its bottom edge). The panels hang from the window's top-left corner.
#pragma once

#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/widgetcontainer.h"

// "Main": opens the other panels and ends the program.
struct MainMenu {
    WidgetContainer panel{200, 500};
    ButtonWidget exit{10, 10, 180, 35};
    ButtonWidget openCity{10, 415, 180, 35};
    ButtonWidget openPathLines{10, 375, 180, 35};
    ButtonWidget openIsosurface{10, 335, 180, 35};
};

// "City Options": colouring, visibility and wireframe of the four city surfaces.
struct CityPanel {
    WidgetContainer panel{400, 500};
    ButtonWidget back{10, 10, 380, 35};
    ButtonWidget colorNone{10, 415, 380, 35};
    ButtonWidget colorDensity{10, 375, 380, 35};
    ButtonWidget colorEnergy{10, 335, 380, 35};
    ButtonWidget colorMomentum{10, 295, 380, 35};
    CheckBoxWidget showCeiling{10, 255, 35};
    CheckBoxWidget showWalls{10, 215, 35};
    CheckBoxWidget showCity{10, 175, 35};
    CheckBoxWidget showFloor{10, 135, 35};
    CheckBoxWidget wireframe{10, 100, 35};
};

// "Pathlines": count and radius steppers, "Generate", and the source's two switches.
struct PathLinePanel {
    WidgetContainer panel{400, 500};
    ButtonWidget back{10, 10, 380, 35};
    ButtonWidget countDec{10, 410, 35, 35};
    ButtonWidget countInc{355, 410, 35, 35};
    ButtonWidget countShow{45, 410, 310, 35};
    ButtonWidget radiusDec{10, 370, 35, 35};
    ButtonWidget radiusDec5{45, 370, 45, 35};
    ButtonWidget radiusInc{355, 370, 35, 35};
    ButtonWidget radiusInc5{310, 370, 45, 35};
    ButtonWidget radiusShow{90, 370, 220, 35};
    ButtonWidget generate{10, 330, 380, 35};
    CheckBoxWidget showGhost{10, 200, 35};
    CheckBoxWidget anchored{10, 165, 35};
};

// The isosurface panel (untitled): variable, value stepper, "Generate" and "Clear".
struct IsosurfacePanel {
    WidgetContainer panel{400, 500};
    ButtonWidget back{10, 10, 380, 35};
    ButtonWidget byDensity{10, 375, 380, 35};
    ButtonWidget byEnergy{10, 335, 380, 35};
    ButtonWidget byMomentum{10, 295, 380, 35};
    ButtonWidget valDec{10, 415, 35, 35};
    ButtonWidget valDec5{45, 415, 45, 35};
    ButtonWidget valInc{355, 415, 35, 35};
    ButtonWidget valInc5{310, 415, 45, 35};
    ButtonWidget valShow{90, 415, 220, 35};
    ButtonWidget generate{10, 100, 380, 35};
    ButtonWidget clear{10, 65, 380, 35};
};

struct Panels {
    MainMenu mainUI;
    CityPanel contextUI;
    PathLinePanel pathlineUI;
    IsosurfacePanel isosurfaceUI;
};
