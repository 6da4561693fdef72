#include "catalogue/model_table.h"

#include <utility>

#include "platform/platform.h"

// Consecutive rows that share a brand number.
struct model_run {
    int32_t brand_no;
    std::initializer_list<std::pair<const char*, int32_t>> models;  // names and model numbers
};

static constexpr model_run runs[] = {
    {44, {{"bosch", 10}}},
    {98, {{"2.0-H3-D1", 0}}},
    {118, {{"DVB-8000-VS", 0}}},
    {64, {{"SDHMSRV16", 15}}},
    {126, {{"KER-300BII", 0}}},
    {9, {{"Lumidock(ch1)", 48}, {"Lumidock(ch2)", 49}, {"Lumidock(ch3)", 50}, {"Lumidock(ch4)", 51},
         {"Sparrowcamera", 52}, {"Sparrowcam(ch1)", 54}, {"Sparrowcam(ch2)", 55}, {"Sparrowcam(ch3)", 56},
         {"Sparrowcam(ch4)", 57}}},
    {108, {{"IX-DA", 0}}},
    {129, {{"GV-VD320", 0}, {"GV-EFD4700", 1}, {"GV-FD4700", 2}, {"GV-FER5700", 3}, {"GV-EDR2100", 4}, {"GV-CAW220", 5},
           {"GV-BL3411", 6}, {"GV-VD120/1/2/3D", 7}, {"GV-MFD320", 8}, {"GV-UNFE2502/3", 9}, {"GV-BX4700", 10},
           {"GV-BX2700", 11}, {"GV-EBL3101", 12}, {"GV-BL2511", 13}, {"GV-EBL2100", 14}, {"GV-EBL2101", 15},
           {"ABL1300", 16}, {"GV-EFD2101", 17}, {"GV-BL5310", 18}, {"GV-FER5302/3", 19}, {"GV-MFD2700", 20},
           {"GV-EFER3700-W", 21}, {"GV-EDR1100", 23}, {"GV-MDR1500", 24}, {"GV-MFD1501", 25}}},
    {264, {{"MS-C8267-X20PE", 5}, {"MS-C5375-FPD", 6}}},
    {139, {{"VIGI-C220I", 28}, {"VIGI-C230", 12}, {"VIGI-C240I", 29}, {"VIGI-C240", 17}, {"VIGI-C245", 55},
           {"VIGI-C250", 61}, {"VIGI-C320I", 13}, {"VIGI-C330I", 43}, {"VIGI-C330", 41}, {"VIGI-C340-W", 32},
           {"VIGI-C340I", 42}, {"VIGI-C340S", 51}, {"VIGI-C340", 52}, {"VIGI-C345", 18}, {"VIGI-C350", 11},
           {"VIGI-C355", 53}, {"VIGI-C385", 56}, {"VIGI-C420I", 38}, {"VIGI-C430I", 37}, {"VIGI-C430", 40},
           {"VIGI-C440-W", 39}, {"VIGI-C440I", 48}, {"VIGI-C440", 7}, {"VIGI-C445", 49}, {"VIGI-C450", 31},
           {"VIGI-C455", 50}, {"VIGI-C485", 16}, {"VIGI-C540-4G", 33}, {"VIGI-C540S", 10}, {"VIGI-C540V", 9},
           {"VIGI-C540", 8}, {"NC450", 0}, {"C200", 22}, {"C211", 23}, {"C212", 66}, {"C100", 19}, {"C110", 20},
           {"C125", 21}, {"C120", 24}, {"C210", 3}, {"C520WS", 26}, {"C220", 4}, {"C225", 54}, {"C230", 60},
           {"C325WB", 14}, {"TC70", 65}, {"InSight-S345ZI", 34}, {"InSight-S655I", 27}, {"InSight-S245ZI", 62},
           {"InSight-S345S", 63}, {"InSight-S245", 30}, {"InSight-S345", 57}, {"InSight-S355", 44},
           {"InSight-S385PI", 67}, {"InSight-S385", 45}, {"InSight-S445", 46}, {"InSight-S455", 47},
           {"InSight-S485PI", 59}, {"InSight-S485", 58}}},
    {50, {{"LZ0P421", 1}, {"LZ0P422", 2}, {"LZ0P431", 3}, {"LZ0P432", 4}, {"LZ0P436", 5}}},
    {150, {{"D201", 0}}},
    {158, {{"EX1022B4K-L5NAP1", 0}, {"SD522B4K-RNAPW", 1}, {"SD530SHD-S-RSNAPW", 2}, {"SD520SHD-B-RSAW", 3},
           {"EX1030SHD-B-L5SNAP1", 4}}},
    {258, {{"CS-CV240-B0-21WFR-LDLC", 0}}},
    {259, {{"VR-ONE", 1}}},
    {262, {{"2N IP Verso", 0}}},
    {263, {{"BN7009H", 0}}},
    {26, {{"N-C5220-3", 18}}},
    {6, {{"DCS-8330LH", 104}, {"DCS-8000LHV2", 105}, {"DCS-8526LH", 106}, {"DCS-8302LH", 107}, {"DCS-8630LH", 108},
         {"DCS-8627LH", 109}, {"DCS-4714E", 110}, {"DCS-4712E", 111}, {"DCS-4718E", 112}, {"DCS-8300LHV2", 113},
         {"DCS-8325LH", 117}}},
    {23, {{"Z92", 428}}},
    {32, {{"AH5723T", 7}, {"AH6583D", 8}}},
    {274, {{"IPC-C22E", 5}, {"IPC-A22E", 6}, {"IPC-G26E", 7}}},
    {282, {{"HV-500G2", 0}}},
    {150, {{"DoorBird_D1101V-S", 1}}},
    {285, {{"T058SM", 0}, {"T057SJ", 1}, {"T089N4-E", 2}, {"D105KD-D", 3}}},
    {71, {{"IN-9408-2K", 26}, {"IN-8415-2K", 27}, {"IN-9420-2K", 28}, {"IN-8403-2K", 29}, {"IN-8815-4K", 30},
          {"IN-9808-4K", 31}, {"IN-9820-4K", 32}}},
    {23, {{"A421", 442}, {"A28", 443}}},
    {286, {{"KG1NN70", 0}, {"VS1NL70", 1}}},
    {32, {{"AH6853XD", 9}, {"AH6013XD", 10}, {"AH5723D", 11}}},
    {37, {{"HC60WB5R2", 5}, {"HC30W25R3", 6}, {"HC30W45R2", 7}, {"HC30WB5R2", 8}, {"HC30WB2R1", 9}}},
    {124, {{"ASH47", 67}, {"IP4M-1063E", 59}, {"IP8M-T2599E", 68}, {"IP5M-T1273E", 63}, {"IP8M-2496E", 31}}},
    {290, {{"SR-C-A5-BM2-V13-IR", 2}, {"SR-C-A5-DM2-V13-IR", 7}, {"SR-C-A5-DF2-F3-IR", 3}, {"SR-C-A5-BF2-F3-IR", 6},
           {"SR-C-A2-BM1-V13-IR", 4}, {"SR-C-A2-DM1-V13-IR", 8}}},
    {69, {{"S6SD-A", 37}, {"U2VC-3", 38}}},
    {53, {{"DH-IPC-HFW7442H", 594}, {"DH-IPC-EB5541", 593}, {"IPC-HDBW3441R-AS-P", 629}, {"IPC-HFW4241T-AS", 621},
          {"SD6CE445GB", 638}, {"IPC-HUM8441E-E1", 639}}},
    {292, {{"LUM-420-IP-DMW", 2}, {"LUM-220-IP-DFW", 3}, {"LUM-520-IP-DFW", 4}, {"LUM-520-IP-BFCW", 0},
           {"LUM-820-IP-BMW", 1}}},
    {15, {{"S26", 56}, {"Mx-VH1A-12-IR-VA", 76}, {"Mx-VT1A-503-IR", 77}, {"Mx-MD1A-5-IR", 78}, {"Mx-VM1A-20-IR-VA", 79},
          {"Mx-VB1A-8-IR-VA", 80}, {"Mx-SD1A-540-IR-VA", 81}, {"Mx-VB1A-2-IR-ALPR", 82}, {"Mx-VB1A-2-IR-D-ALPR", 95},
          {"Mx-BC2A-2-IR", 83}, {"Mx-VD2A-2-IR-VA", 86}, {"Mx-VD2A-2-IR", 84}, {"Mx-VB3A-2-IR-VA", 85},
          {"Mx-VD3A-2-IR-VA", 87}, {"Mx-SD2A-230-LL-FM-VA", 88}, {"Mx-SD2A-230-LL-VA", 89}, {"Mx-SD1A-831-LIR-VA", 90},
          {"Mx-VT1A-2-IR", 91}, {"Mx-VT1A-203-IR", 92}, {"Mx-VT1A-5-IR", 93}, {"Mx-VD1A-8-IR-VA", 94}}},
    {4, {{"VB-H730F", 20}, {"VB-S900F", 11}, {"VB-H710F", 9}, {"VB-S32D", 56}, {"VB-S32VE", 57}}},
    {3, {{"P1435-LE", 182}, {"P1475-LE", 385}, {"P3275-LVE", 386}, {"P1467-LE", 354}, {"M3027", 128},
         {"P3265-LVE", 342}, {"M4327-P", 369}, {"P3827-PVE", 375}, {"P3047-P", 220}, {"I8116-E", 376}, {"M5526", 377},
         {"M3126-LVE", 378}, {"M1055-L", 380}, {"Q6358-LE", 383}, {"Q1808-LE", 387}, {"P3807-PVE", 249}}},
    {11, {{"WV-SFN310", 69}, {"WV-S1135V", 158}, {"WV-U1532LA", 159}, {"WV-X22600-V2L", 160}, {"WV-S8544L", 161},
          {"WV-S8543L", 168}, {"WV-U85402-V2L", 165}, {"WV-U2542LA", 167}}},
    {145, {{"QNV-6022R", 75}, {"ANV-L7012R", 128}, {"ANV-L7082R", 130}, {"ANO-L7012R", 131}, {"ANO-L7082R", 132},
           {"ANE-L7012R", 129}, {"PNO-A9081R", 133}, {"XNF-9013RV", 136}, {"PND-A9081RV", 137}, {"PNM-9031RV", 138}}},
    {42, {{"SNC-HDL5203MSY", 50}}},
    {132, {{"IPC3624LE-ADF28K-WP-NB", 29}, {"IPC2K24SE-ADF40KMC-WL-I0", 30}, {"TIC2A32SA-F10-4F8AC-I1", 31},
           {"IPC2324SB-DZK-I0", 32}, {"IPC3605SB-ADF16KM-I0", 33}, {"IPC3224SS-ADF28K-I1", 34},
           {"IPC86CEB-AF18KC-I0", 36}, {"IPC3514LE-ADF40K-WP", 37}}},
    {31, {{"DS-2CD3955FWD", 527}, {"DS-2CD3D46G2T", 815}, {"DS-2CD63C5G1", 858}, {"DS-2CD3310", 382},
          {"DS-2CD3347WDV3", 844}, {"DS-KV6113-WPE11", 860}, {"DS-2CD1183G2", 861}, {"DS-2CD2187G2H", 862}}},
    {295, {{"IPAi65A05-MR", 0}, {"IPAi345S-FR", 2}, {"VCAServer", 1}, {"IPAi685S-MR", 3}}},
    {41, {{"IMF82-1ES", 7}}},
    {50, {{"YK-B02AF", 11}, {"YK-D02AF", 12}, {"YK-D02BA", 13}, {"YK-F12AB", 14}}},
    {4, {{"VB-S820D", 54}, {"VB-M46", 55}, {"VB-H47", 58}}},
    {1, {{"FE9391-EHV-v2", 20971522}, {"IB9383-HV", 22478850}}},
    {130, {{"RLC-510A", 20}, {"RLC-820A", 23}, {"RLC-842A", 33}, {"E1OutdoorPro", 44}, {"RLC-822A", 25},
           {"RLC-1240A", 56}, {"Lumus Pro", 57}, {"Duo 3V PoE", 58}, {"Fisheye Series P520", 59},
           {"Duo Series P730", 60}, {"P437", 61}, {"P430", 62}, {"D340P", 63}}},
    {12, {{"SNC-DH210", 47}}},
    {297, {{"PX-TZI4012IR5DL", 0}, {"PX-SDIP4525G3", 1}}},
    {67, {{"Z7R8182X3-P", 105}, {"V1R6052AX3", 106}, {"Z7R8082EX30", 107}, {"Z7R8182X2-P", 108}, {"Z7R6482X3-P", 109},
          {"Z7R8082EX25", 110}, {"Z7R8082X10-P", 111}, {"Z7R8182X10-P", 112}, {"Z7R8052EX25", 113},
          {"Z7R8052EX30", 114}, {"V1R4452AE2", 116}, {"V1R4552AX3", 117}, {"V1R6052AE2", 118}, {"V1R9452AE2", 119},
          {"V1R9552AX3", 120}, {"V1R4452E2", 121}, {"V1R4552X3", 122}, {"V1R6052E2", 123}, {"V1R6052X3", 124},
          {"V1R9452E2", 125}, {"V1R9552X3", 126}, {"V1W9452E2", 127}, {"V1W4452E2", 128}, {"V1W4552X3", 129},
          {"V1W9552X3", 115}}},
    {298, {{"C1FA18002", 0}, {"C1PA08501", 1}}},
    {41, {{"SRXE4-8X31-EBT-IR1", 8}}},
};

// The runs laid out as the table's rows. constinit has the compiler do it:
// the table stays fixed data, and a wrong row count does not compile. The
// maker's multi-channel sources (brand 9) are recorded under the default brand.
static constexpr std::array<model_row, model_table_rows> rows_of_runs()
{
    std::array<model_row, model_table_rows> rows{};
    std::size_t n = 0;
    for (const model_run& run : runs)
        for (auto [name, model_no] : run.models)
            rows.at(n++) = {name, 0, run.brand_no == 9 ? 44 : run.brand_no, run.brand_no, model_no};
    return n == model_table_rows ? rows : throw "the runs hold fewer rows than model_table_rows";
}

constinit std::array<model_row, model_table_rows> model_table = rows_of_runs();

void init_model_table()
{
    for (model_row& row : model_table)
        row.catalogue_id = make_long_long(row.brand_no, row.model_no);
}
