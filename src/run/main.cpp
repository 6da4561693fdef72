// onvif_camscout: one WS-Discovery run for ONVIF cameras, then exit 0.
#include "catalogue/model_table.h"
#include "run/run.h"

int main(int argc, char** argv)
{
    init_model_table();
    return camscout_main(argc, argv);
}
