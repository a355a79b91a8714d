// What the populations of one slide (sprites, 3D objects, falling pieces)
// may cost a frame together, and the note on stderr when a count a document
// stores had to be reduced to fit.
//
// A frame's cost is counted three ways:
//   cover  screen-fulls of blended pixels: one member covers at most the
//          whole picture however large it is stored (the rasteriser clips
//          it), a population drawn in two passes covers twice;
//   quads  sprite quads set up and rasterised, however small (a masked
//          sprite is two);
//   draws  draw calls: a 3D instance is drawn one call per mesh and side.
// Both budgets are sized so that the largest populations a document can ask
// for still draw at 5 frames a second or more on the software rasteriser at
// 1280 x 800.
//
// A slide's Init opens a DS_PopulationBudget; each population takes from it
// as it is made, in the slide's order, and is reduced to what it gets (never
// below one member: the author meant every population to show).  A
// population made outside a slide gets a whole budget of its own.
#pragma once

#include <cstdint>

// Screen-fulls of blended pixels per frame for all the populations of a slide.
constexpr double kSlideCoverBudget = 8.0;
// Sprite quads per frame for all the sprite populations of a slide.
constexpr uint32_t kSlideQuadBudget = 4096;
// Draw calls per frame for all the 3D instances and pieces of a slide.
constexpr uint32_t kSlideDrawBudget = 200;

class DS_PopulationBudget {
public:
    // Opens a slide's budget; the previous one (if any) is back when it closes.
    DS_PopulationBudget();
    ~DS_PopulationBudget();
    DS_PopulationBudget(const DS_PopulationBudget&) = delete;
    DS_PopulationBudget& operator=(const DS_PopulationBudget&) = delete;

    // What one member costs a frame.
    struct Cost {
        double cover = 0.0;  // screen-fulls
        uint32_t quads = 0;
        uint32_t draws = 0;
    };
    // How many of `wanted` members of cost `each` fit what is left of the
    // open budget (a fresh one when none is open); at least one when
    // `wanted` is not 0.  Their cost is taken from the budget.
    static uint32_t Take(uint32_t wanted, const Cost& each);
    // The count a population stored with `stored` members (at most `cap`)
    // is made with: what Take gives it, said once on stderr as `what` when
    // it is fewer than stored.
    static uint32_t Fit(uint32_t stored, uint32_t cap, const Cost& each, const char* what);

    double coverLeft = kSlideCoverBudget;
    uint64_t quadsLeft = kSlideQuadBudget;
    uint64_t drawsLeft = kSlideDrawBudget;

private:
    uint32_t TakeHere(uint32_t wanted, Cost each);

    DS_PopulationBudget* previous_;
};

// The screen-fulls one member of `area` logical pixels covers on the current
// screen mapping's logical picture: area / (W x H), at most 1 (NaN and
// infinite areas cover the picture).
double DS_CoverOfArea(double area);

// Says on stderr, once per `what` for the whole process, that a document's
// `what` of `stored` was reduced to `used`.
void DS_SayCountReduced(const char* what, uint64_t stored, uint64_t used);
// Whether DS_SayCountReduced has spoken for `what` (for tests), and a fresh
// start of the once-only notes.
bool DS_CountReductionSaid(const char* what);
void DS_ResetCountReductionNotes();
