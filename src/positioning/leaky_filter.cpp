#include "positioning/leaky_filter.h"

bool LeakyFilter::setLength(int n) {
  if (n < 1) return false;
  length = n;
  return true;
}

double LeakyFilter::update(double x, int& n) {
  if (length < 1) {
    n = 0;
    return mean;
  }
  count = count + 1 < length ? count + 1 : length;
  mean = (x + (count - 1) * mean) / count;
  n = count;
  return mean;
}
