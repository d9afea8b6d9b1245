// What a removal found and did, file by file and entry by entry.
#pragma once

// What became of one thing a removal takes away.
enum class Removed { kNotThere, kGone, kAtNextStart, kStays };

// What became of all of them together.
struct RemovalOutcome {
  bool found = false;        // one was there
  bool atNextStart = false;  // one goes at the next start
  bool stays = false;        // one could be neither removed nor entered
  void Add(Removed removed) {
    found = found || removed != Removed::kNotThere;
    atNextStart = atNextStart || removed == Removed::kAtNextStart;
    stays = stays || removed == Removed::kStays;
  }
  void Add(const RemovalOutcome& other) {
    found = found || other.found;
    atNextStart = atNextStart || other.atNextStart;
    stays = stays || other.stays;
  }
};
