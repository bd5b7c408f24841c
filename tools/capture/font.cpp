// The bitmap font of the default data set's pictures, compiled into the capture
// tool too so the contact sheet's labels use the same letters.
#include "tools/mkassets/font.cpp"
