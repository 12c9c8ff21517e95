#include "ui/common/window_controls.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tolvane {
namespace {

bool overlap(const Place& a, const Place& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

TEST(WindowControls, NoTwoOverlapAndTheFocusMarkCoversNoControl) {
    std::set<std::string> names;
    for (const ControlRow& row : controlRows()) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(&controlRow(row.id), &row) << row.name;
        EXPECT_EQ(row.click != nullptr, row.kind == ControlKind::PushButton) << row.name;
        EXPECT_LE(row.at.left + row.at.width, kClientWidth) << row.name;
        for (const ControlRow& other : controlRows()) {
            if (&other == &row) continue;
            EXPECT_FALSE(overlap(row.at, other.at)) << row.name << " and " << other.name;
        }
        for (const Place& mark : focusMarkPlaces()) EXPECT_FALSE(overlap(mark, row.at)) << row.name;
    }
    // The status area lies below the fixed layout, the mark within it.
    EXPECT_GE(controlRow(kStatus).at.top, kClientHeight);
    for (const Place& mark : focusMarkPlaces()) {
        EXPECT_GT(mark.height, 0);
        EXPECT_GE(mark.top, 0);
        EXPECT_LE(mark.top + mark.height, kClientHeight);
    }
}

TEST(PlacePicture, TheLargestWholeScaleTheLogoAtTheTopLeftOtherShapesCentred) {
    struct Case {
        int width, height, areaWidth, areaHeight;
        PicturePlace place;
    };
    const Case cases[] = {
        {384, 64, 769, 129, {0, 0, 2}},                                     // 96 DPI
        {384, 64, 1154, 194, {0, 0, 3}},                                    // 144 DPI
        {384, 64, 1538, 258, {0, 0, 4}},                                    // 192 DPI
        {384, 64, 961, 161, {0, 0, 2}},                                     // 120 DPI: 2.5 is no whole scale
        {344, 71, 769, 129, {212, 29, 1}},                                  // the PAL console view
        {344, 71, 1538, 258, {253, 22, 3}}, {384, 64, 100, 50, {0, 0, 1}},  // never below 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(placePicture(c.width, c.height, c.areaWidth, c.areaHeight), c.place)
            << c.width << " x " << c.height << " in " << c.areaWidth << " x " << c.areaHeight;
}

}  // namespace
}  // namespace tolvane
