#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cout << "Usage:" << std::endl;
        std::cout << argv[0] << " <model-file-obj> [--batchmode] [--square]" << std::endl;
        return 0;
    }
    return 0;
}
