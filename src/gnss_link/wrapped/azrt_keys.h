// The routing keys of the ports: /par/dev/<port>/wrap/0..2 = {id,mode,port} for every port that
// has a decoder port (id -1..255, -1 any; mode 0..17; port a port name or "+", the port itself).
#pragma once

// Registers one parameter area per port with the parameter engine; false when one could not be.
bool registerAzrtArea();
