#include "main/start_up.h"

int main() { return rxMain(); }
