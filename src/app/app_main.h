// The application core's entry: tool modes or the interactive program.
#pragma once

int nalo_main(int argc, char** argv);
