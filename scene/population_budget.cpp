#include "scene/population_budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>

#include "scene/view_2d.h"

namespace {

DS_PopulationBudget* g_open = nullptr;

std::set<std::string>& Said() {
    static std::set<std::string> said;
    return said;
}

}  // namespace

DS_PopulationBudget::DS_PopulationBudget() : previous_(g_open) { g_open = this; }

DS_PopulationBudget::~DS_PopulationBudget() { g_open = previous_; }

uint32_t DS_PopulationBudget::Take(uint32_t wanted, const Cost& each) {
    if (!g_open) {
        DS_PopulationBudget fresh;
        return fresh.TakeHere(wanted, each);
    }
    return g_open->TakeHere(wanted, each);
}

uint32_t DS_PopulationBudget::Fit(uint32_t stored, uint32_t cap, const Cost& each, const char* what) {
    const uint32_t n = Take(std::min(stored, cap), each);
    if (n != stored) DS_SayCountReduced(what, stored, n);
    return n;
}

namespace {

// n, at most what `left` holds of `each` apiece.
uint64_t Within(uint64_t n, uint64_t left, uint32_t each) { return each > 0 ? std::min(n, left / each) : n; }

uint64_t Less(uint64_t left, uint64_t used) { return used < left ? left - used : 0; }

}  // namespace

uint32_t DS_PopulationBudget::TakeHere(uint32_t wanted, Cost each) {
    if (wanted == 0) return 0;
    if (!(each.cover >= 0.0) || !std::isfinite(each.cover)) each.cover = 1.0;
    uint64_t n = wanted;
    if (each.cover > 0.0) {
        // A hair over: a quotient that is whole on paper must not round down.
        const double fits = std::floor(std::max(coverLeft, 0.0) / each.cover + 1e-9);
        if (fits < static_cast<double>(n)) n = static_cast<uint64_t>(fits);
    }
    n = Within(n, quadsLeft, each.quads);
    n = Within(n, drawsLeft, each.draws);
    n = std::max<uint64_t>(n, 1);
    coverLeft -= static_cast<double>(n) * each.cover;
    quadsLeft = Less(quadsLeft, n * each.quads);
    drawsLeft = Less(drawsLeft, n * each.draws);
    return static_cast<uint32_t>(n);
}

double DS_CoverOfArea(double area) {
    const DS_ScreenMapping& m = DS_ScreenMapping::Current();
    const double picture = static_cast<double>(std::max(m.logicalWidth, 1)) * std::max(m.logicalHeight, 1);
    if (!(area >= 0.0) || !std::isfinite(area)) return 1.0;
    return std::min(area / picture, 1.0);
}

void DS_SayCountReduced(const char* what, uint64_t stored, uint64_t used) {
    if (!Said().insert(what).second) return;
    std::fprintf(stderr, "tessaloom: the document's %s (%llu) is past what a frame can show; %llu is used\n",
                 what, static_cast<unsigned long long>(stored), static_cast<unsigned long long>(used));
}

bool DS_CountReductionSaid(const char* what) { return Said().count(what) != 0; }

void DS_ResetCountReductionNotes() { Said().clear(); }
