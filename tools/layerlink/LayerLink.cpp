// Does nothing: the program exists to be linked (see CMakeLists.txt).
int main()
{
    return 0;
}
