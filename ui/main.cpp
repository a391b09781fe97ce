#include <iostream>

int main()
{
    std::cout << "Vexa.Terrun Marks Editor: the editor window is not built yet; the table store is.\n";
    return 0;
}
