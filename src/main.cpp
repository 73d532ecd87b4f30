#include "app/app.h"

int main(int argc, char** argv) { return qv::run_app(argc, argv); }
