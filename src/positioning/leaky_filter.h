// Running mean of a scalar: the exact mean while fewer samples than `length` have come, then an
// exponential mean in which each new sample weighs 1/length.
#pragma once

class LeakyFilter {
 public:
  LeakyFilter() = default;

  // False (and nothing changed) for a length below 1.
  bool setLength(int n);

  // Takes sample x and returns the new mean; n receives the count used (at most the length).
  // Without a length of at least 1 the sample is refused: the mean stays and n is 0.
  double update(double x, int& n);

  double mean = 0.0;
  int count = 0;
  int total = 0;  // kept in the signal records' layout
  int length = -1;  // not set
};
