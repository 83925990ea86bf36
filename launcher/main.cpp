#include "launcher/application.h"

int main(int argc, char** argv)
{
    return vorn::runLauncher(argc, argv);
}
