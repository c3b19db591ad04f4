// mok-decode: the game's decoding helper. The game starts it beside itself,
// hands it one picture file and gets the preview back; nothing else starts
// it. See protocol.h for the round trip.
#include "helper.h"

int main()
{
    return mok::picture::runHelper(mok::picture::decodeRequest);
}
