// PERIOD and MASS: where the cells go and what they say, the option and
// scale dialogues, and the pictures as vectors and as PostScript.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>
#include <string>

#include "command_fixture.h"
#include "commands/commands.h"
#include "commands/physics/mass_scale.h"
#include "graphics/drivers/recording_driver.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "physics/period_layout.h"
#include "session/session.h"

namespace tarva {
namespace {

using testing_support::TempDir;

struct PhysicsSession : testing_support::CommandSession {
    RecordingDriver rec;

    explicit PhysicsSession(const std::string& answers = "") : CommandSession(answers) { s.graphics.recorder = &rec; }
    // The line, reading the answers left unread; returns what it printed.
    std::string period(const std::string& line) { return said(cmd_period, line); }
    std::string mass(const std::string& line) { return said(cmd_mass, line); }

private:
    std::string said(CommandHandler routine, const std::string& line) {
        expect_selects(routine, line);
        out.str("");
        type(line);
        return out.str();
    }
};

const Beam kHeBeam{2000.0, 4.0026, 2, "He", 170.0};

// Unit squares drawn as move + four draws, by their lower-left corners.
std::set<std::pair<float, float>> unit_squares(const std::vector<RecordedVector>& v) {
    std::set<std::pair<float, float>> found;
    for (std::size_t i = 0; i + 4 < v.size(); ++i) {
        const float x = v[i].x, y = v[i].y;
        if (v[i].pen != 3) continue;
        const RecordedVector want[4] = {{x + 1, y, 2}, {x + 1, y + 1, 2}, {x, y + 1, 2}, {x, y, 2}};
        if (std::equal(want, want + 4, v.begin() + static_cast<long>(i) + 1)) found.insert({x, y});
    }
    return found;
}

TEST(PeriodLayout, CellsFollowThePeriodicTable) {
    struct Want {
        int z, column;
        float row;
    };
    for (const Want& w :
         {Want{1, 1, 1}, Want{2, 18, 1}, Want{3, 1, 2}, Want{5, 13, 2}, Want{10, 18, 2}, Want{13, 13, 3},
          Want{19, 1, 4}, Want{36, 18, 4}, Want{54, 18, 5}, Want{57, 3, 6}, Want{58, 4, 8.5f}, Want{71, 17, 8.5f},
          Want{72, 4, 6}, Want{86, 18, 6}, Want{89, 3, 7}, Want{90, 4, 9.5f}, Want{103, 17, 9.5f}}) {
        EXPECT_EQ(cell_place(w.z).column, w.column) << w.z;
        EXPECT_EQ(cell_place(w.z).row, w.row) << w.z;
    }
    std::set<std::pair<int, float>> used;
    for (int z = 1; z <= kElementCount; ++z) used.insert({cell_place(z).column, cell_place(z).row});
    EXPECT_EQ(used.size(), 103u);
}

TEST(PeriodLayout, ExtraQuantitiesForTheBeam) {
    EXPECT_EQ(extra_quantity_text(PeriodExtra::KinematicFactor, kHeBeam, 14), "0.5657");
    EXPECT_EQ(extra_quantity_text(PeriodExtra::SurfaceEnergy, kHeBeam, 14), " 1131.47");
    EXPECT_EQ(extra_quantity_text(PeriodExtra::CrossSection, kHeBeam, 79), "  8.20    ");
    EXPECT_EQ(extra_quantity_text(PeriodExtra::CrossSection, kHeBeam, 92).size(), 10u);
    // Nothing for targets not heavier than the beam, nor without a mode.
    for (PeriodExtra e : {PeriodExtra::KinematicFactor, PeriodExtra::SurfaceEnergy, PeriodExtra::CrossSection}) {
        EXPECT_EQ(extra_quantity_text(e, kHeBeam, 1), "");
        EXPECT_EQ(extra_quantity_text(e, kHeBeam, 2), "");
    }
    EXPECT_EQ(extra_quantity_text(PeriodExtra::None, kHeBeam, 79), "");
    EXPECT_EQ(beam_statement(kHeBeam), "for 2.00 MeV He at 170.00 degrees");
}

TEST(PeriodCommand, OptionsAndTheirMessages) {
    PhysicsSession t;
    EXPECT_EQ(t.period("PERIOD/E KI"), " Kinematic factors enabled.\n");
    EXPECT_EQ(t.s.physics.period.extra, PeriodExtra::KinematicFactor);
    EXPECT_EQ(t.period("PERIOD/E XM"), " X-ray energies enabled.\n M lines given priority\n");
    EXPECT_EQ(t.s.physics.period.xray_family, 'M');
    EXPECT_EQ(t.period("PERIOD/E XL"), " X-ray energies enabled.\n L lines given priority\n");
    EXPECT_EQ(t.period("PERIOD/E XRAY"), " X-ray energies enabled.\n K lines given priority\n");
    EXPECT_EQ(t.period("PERIOD/E C"), " Cross sections enabled.\n");
    EXPECT_EQ(t.period("PERIOD/E SURF"), " Surface energies enabled.\n");
    EXPECT_EQ(t.s.physics.period.extra, PeriodExtra::SurfaceEnergy);
    EXPECT_EQ(t.period("PERIOD/D E"), " Extra information disabled.\n");
    EXPECT_EQ(t.s.physics.period.extra, PeriodExtra::None);
    EXPECT_EQ(t.period("PERIOD/D M"), " Mass numbers disabled.\n");
    EXPECT_FALSE(t.s.physics.period.mass_numbers);
    EXPECT_EQ(t.period("PERIOD/E M"), " Mass numbers enabled.\n");
    EXPECT_EQ(t.period("PERIOD/D KEY"), ""); // the one option that says nothing
    EXPECT_FALSE(t.s.physics.period.key_cell);
    EXPECT_EQ(t.period("PERIOD/E KE"), " Key element enabled.\n");
    EXPECT_TRUE(t.s.physics.period.key_cell);
    // K alone could be either K word; /D knows no C; /E knows no E.
    for (const char* bad : {"PERIOD/E K", "PERIOD/D C", "PERIOD/E E", "PERIOD/E", "PERIOD/D Q"})
        EXPECT_EQ(t.period(bad), " Unknown or ambiguous option.\a\n") << bad;
    EXPECT_TRUE(t.rec.events.empty());
}

TEST(PeriodCommand, DrawsEveryCellOnTheChosenDevice) {
    PhysicsSession t;
    t.s.physics.period.key_cell = false;
    EXPECT_EQ(t.period("PERIOD/U"), "");
    ASSERT_FALSE(t.rec.events.empty());
    EXPECT_EQ(t.rec.events.front().kind, RecordedEvent::Begin);
    EXPECT_EQ(t.rec.events.front().device, 'U');
    EXPECT_EQ(t.rec.events.back().kind, RecordedEvent::End);
    const auto cells = unit_squares(t.rec.vectors());
    EXPECT_EQ(cells.size(), 103u);
    EXPECT_TRUE(cells.count({0.0f, 10.0f}));  // H
    EXPECT_TRUE(cells.count({17.0f, 10.0f})); // He
    EXPECT_TRUE(cells.count({3.0f, 1.5f}));   // Th
    // The key adds its own cell; DRAW's aspect ratio is left as it was.
    t.s.graphics.aspect = 1.0f;
    t.s.physics.period.key_cell = true;
    t.rec.clear();
    t.s.draw.default_device = 'Q';
    t.period("PERIOD");
    EXPECT_EQ(t.rec.events.front().device, 'Q');
    EXPECT_EQ(unit_squares(t.rec.vectors()).size(), 104u);
    EXPECT_EQ(t.s.graphics.aspect, 1.0f);
}

TEST(PeriodCommand, ExtraQuantitiesOnlyForHeavierTargets) {
    auto strokes = [](float beam_mass, PeriodExtra extra) {
        PhysicsSession t;
        t.s.physics.period.extra = extra;
        t.s.data.experiment.beam_mass() = beam_mass;
        t.period("PERIOD/U");
        return t.rec.vectors().size();
    };
    const auto plain = strokes(4.0026f, PeriodExtra::None);
    const auto helium = strokes(4.0026f, PeriodExtra::KinematicFactor);
    const auto heavy = strokes(250.0f, PeriodExtra::KinematicFactor);
    // With helium 101 cells get a number; with a 250 u beam only five.
    EXPECT_GT(helium, heavy);
    EXPECT_GT(heavy, plain);
}

TEST(PeriodCommand, MissingBeamValuesAreAssumed) {
    PhysicsSession t;
    t.s.physics.period.extra = PeriodExtra::SurfaceEnergy;
    t.s.data.experiment.beam_energy() = 0.0f;
    t.s.data.experiment.beam_mass() = 0.0f;
    EXPECT_EQ(t.period("PERIOD/U"),
              " \aZero beam energy, 2 MeV assumed.\n \aZero beam particle mass, 4.0026 amu assumed.\n");
    // Without a kinematic quantity the beam is not needed.
    t.s.physics.period.extra = PeriodExtra::None;
    EXPECT_EQ(t.period("PERIOD/U"), "");
}

TEST(PeriodCommand, PostScriptPictureRendersWithGhostscript) {
    if (!testing_support::have_program("gs")) GTEST_SKIP() << "gs not installed";
    TempDir dir;
    {
        PhysicsSession t;
        t.s.graphics.recorder = nullptr;
        t.s.physics.period.extra = PeriodExtra::CrossSection;
        t.period("PERIOD/Q");
        t.type("CLOSE");
    }
    ASSERT_TRUE(std::filesystem::exists("plt01.ps"));
    EXPECT_EQ(std::system("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=nullpage plt01.ps >gs.log 2>&1"), 0);
}

TEST(MassScale, TicksStandAtTheSurfaceEnergies) {
    const auto ticks = mass_ticks(kHeBeam, 5, 230, 0.0f, 2000.0f, 1.0f, false);
    ASSERT_EQ(ticks.size(), 226u);
    for (const MassTick& t : ticks) {
        EXPECT_NEAR(t.x, kinematic_factor(4.0026, t.mass, 170.0) * 2000.0, 1e-3) << t.mass;
        EXPECT_EQ(t.labelled, t.mass % 5 == 0) << t.mass;
        EXPECT_EQ(t.length, t.labelled ? 2.0f : 1.0f) << t.mass;
    }
    // Masses not heavier than the beam, and the plot's X range, bound it.
    EXPECT_EQ(mass_ticks(kHeBeam, 1, 4, 0.0f, 2000.0f, 1.0f, false).size(), 0u);
    for (const MassTick& t : mass_ticks(kHeBeam, 5, 230, 1000.0f, 1500.0f, 1.0f, false)) {
        EXPECT_GE(t.x, 1000.0f);
        EXPECT_LE(t.x, 1500.0f);
    }
    float x = 0.0f;
    ASSERT_TRUE(mass_position(kHeBeam, 28.086, true, x));
    EXPECT_NEAR(x, std::log10(1131.4749), 1e-5);
}

TEST(MassScale, CrowdedLabelsThinToTens) {
    const float gap = 40.0f;
    const auto ticks = mass_ticks(kHeBeam, 5, 230, 0.0f, 2000.0f, gap, false);
    float last = -1e9f;
    bool refused = false;
    for (const MassTick& t : ticks) {
        if (t.mass % 5 != 0) continue;
        if (t.labelled) {
            EXPECT_GE(t.x - last, gap) << t.mass;
            last = t.x;
        } else {
            EXPECT_EQ(t.length, 1.5f);
            refused = true;
        }
    }
    EXPECT_TRUE(refused);
    // Once crowded, the fives between tens stay bare.
    const auto it =
        std::find_if(ticks.begin(), ticks.end(), [](const MassTick& t) { return t.mass % 5 == 0 && !t.labelled; });
    for (auto j = it; j != ticks.end(); ++j)
        if (j->mass % 10 == 5) {
            EXPECT_FALSE(j->labelled) << j->mass;
        }
}

TEST(MassCommand, ModesAndPointer) {
    PhysicsSession t;
    EXPECT_EQ(t.mass("MASS I 150"), " Individual mass mode enabled.\n");
    EXPECT_TRUE(t.s.physics.mass.individual);
    EXPECT_EQ(t.s.physics.mass.pointer_y, 150.0);
    EXPECT_EQ(t.mass("MASS J"), " Individual mass mode enabled, arrows above data.\n");
    EXPECT_TRUE(t.s.physics.mass.arrows_above_data);
    EXPECT_EQ(t.s.physics.mass.pointer_y, 150.0);
    EXPECT_EQ(t.mass("MASS P ^0^vT"), " Pointer in individual mode ^0^vT\n");
    EXPECT_EQ(t.mass("MASS A"), " All masses mode enabled.\n");
    EXPECT_FALSE(t.s.physics.mass.individual);
    EXPECT_EQ(t.mass("MASS Q"), " Unknown or ambiguous option.\a\n");
    EXPECT_EQ(t.mass("MASS"), " No plot current!\n");
}

TEST(MassCommand, LabelledElements) {
    PhysicsSession t("si\nAU\nzz\n\n");
    EXPECT_EQ(t.mass("MASS L"), " Symbol of element to label (CR to end) >  Symbol of element to label (CR to end) > "
                                " Symbol of element to label (CR to end) >  Unknown element zz\n"
                                " Symbol of element to label (CR to end) > ");
    EXPECT_EQ(t.mass("MASS V"), " Enabled elements:   2\n  14  Si wt:   28.086 u\n  79  Au wt:  196.967 u\n");
    EXPECT_EQ(t.mass("MASS C"), " All elements disabled.\n");
    EXPECT_EQ(t.s.physics.mass.element_count, 0);

    PhysicsSession full("c\nc\nc\nc\nc\nc\nc\nc\nc\nc\nn\n");
    const std::string said = full.mass("MASS L");
    EXPECT_EQ(full.s.physics.mass.element_count, 10);
    EXPECT_NE(said.find("Too many special elements."), std::string::npos);
}

TEST(MassCommand, ScaleSetUp) {
    PhysicsSession t("0.5\n2 900\n");
    EXPECT_EQ(t.mass("MASS S"), " Size of numbers on scale (1.00) >  Start and end mass units of scale (1,230) > ");
    EXPECT_EQ(t.s.physics.mass.number_size, 0.5f);
    EXPECT_EQ(t.s.physics.mass.start, 5); // helium beam: 4 + 1
    EXPECT_EQ(t.s.physics.mass.end, 230);
    t.in.clear();
    t.in.str("\n10 120\n");
    EXPECT_EQ(t.mass("MASS S"), " Size of numbers on scale (0.50) >  Start and end mass units of scale (5,230) > ");
    EXPECT_EQ(t.s.physics.mass.number_size, 0.5f);
    EXPECT_EQ(t.s.physics.mass.start, 10);
    EXPECT_EQ(t.s.physics.mass.end, 120);
}

TEST(MassCommand, ElementsFromAnExperimentFile) {
    TempDir dir;
    testing_support::write_file("run.EXP", "  1024.0\n 0.0\n 2.0\n 10.0\n 1.0\n 4.0026\n 2.0\n 170.0\n 1.0\n 5.0\n"
                                           " Si, AU\n o xx\n");
    PhysicsSession t;
    EXPECT_EQ(t.mass("MASS F run"), " Unknown element xx\n  Elements from data file enabled.\n");
    ASSERT_EQ(t.s.physics.mass.element_count, 3);
    EXPECT_EQ(t.s.physics.mass.elements[0], 14);
    EXPECT_EQ(t.s.physics.mass.elements[1], 79);
    EXPECT_EQ(t.s.physics.mass.elements[2], 8);
    PhysicsSession missing("\n");
    EXPECT_EQ(missing.mass("MASS E"), " Filename of experimental parameters > ");
    EXPECT_EQ(missing.mass("MASS D none"), " Unable to open none.EXP for input.\n");
}

TEST(MassCommand, DrawsOverTheLastPicture) {
    PhysicsSession t;
    t.s.draw.picture_drawn = true;
    t.s.draw.last_device = 'Q';
    t.s.draw.old_xmin = 0.0f;
    t.s.draw.old_xmax = 2000.0f;
    t.s.draw.old_ymin = 0.0f;
    t.s.draw.old_ymax = 100.0f;
    EXPECT_EQ(t.mass("MASS"), "");
    EXPECT_EQ(t.rec.count(RecordedEvent::Begin), 0);
    EXPECT_EQ(t.rec.count(RecordedEvent::End), 1);
    const auto v = t.rec.vectors();
    // The line along the top, then one tick per mass hanging from it: 6..230,
    // as mass 5 (25 keV) lies within the first plot unit (45 keV).
    ASSERT_GE(v.size(), 2u);
    EXPECT_EQ(v[0], (RecordedVector{0.0f, 100.0f, 3}));
    EXPECT_EQ(v[1], (RecordedVector{2000.0f, 100.0f, 2}));
    std::size_t ticks = 0;
    for (std::size_t i = 2; i + 1 < v.size(); ++i)
        if (v[i].pen == 3 && v[i + 1].pen == 2 && v[i].y == 100.0f && v[i + 1].x == v[i].x && v[i + 1].y < 100.0f)
            ++ticks;
    EXPECT_EQ(ticks, 225u);

    // Individual mode marks only the labelled elements: a pointer at Au.
    t.rec.clear();
    t.s.physics.mass.individual = true;
    t.s.physics.mass.elements[0] = 79;
    t.s.physics.mass.element_count = 1;
    t.mass("MASS");
    float lo = 1e9f, hi = -1e9f;
    for (const auto& p : t.rec.vectors()) {
        lo = std::min(lo, p.x);
        hi = std::max(hi, p.x);
    }
    const float au = static_cast<float>(kinematic_factor(4.0026, 196.967, 170.0) * 2000.0);
    EXPECT_LT(lo, au);
    EXPECT_GT(hi, au);
    EXPECT_LT(hi - lo, 200.0f);
}

} // namespace
} // namespace tarva
