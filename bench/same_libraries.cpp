// The reference for the decoding helper's start: a program that links what
// mok-decode links and ends at once.
int main()
{
    return 0;
}
