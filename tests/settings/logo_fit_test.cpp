#include "settings/logo_fit.h"

#include <gtest/gtest.h>

namespace kelmora::settings {
namespace {

TEST(AjustarImagen, ImagenAnchaEnCajaBajaSeAjustaAlAlto) {
    // r = 105/184: 500*r - 32 = 253.3 and 184*r - 32 = 73, centred.
    EXPECT_EQ(ajustarImagen({500, 184}, {363, 105}, 32), QRect(55, 16, 253, 73));
}

TEST(AjustarImagen, MismasProporcionesSinMargenLlenanLaCaja) {
    EXPECT_EQ(ajustarImagen({200, 100}, {400, 200}, 0), QRect(0, 0, 400, 200));
    EXPECT_EQ(ajustarImagen({400, 200}, {400, 200}, 0), QRect(0, 0, 400, 200));
}

TEST(AjustarImagen, ImagenAltaEnCajaAnchaSeCentraALoAncho) {
    // r = 200/400 = 0.5: 100 - 20 wide, 200 - 20 high; half the margin left above and below.
    EXPECT_EQ(ajustarImagen({200, 400}, {300, 200}, 20), QRect(110, 10, 80, 180));
}

TEST(AjustarImagen, LasMitadesSeRedondeanAlVecinoPar) {
    // r = 1.5: 3 x 4.5, the height rounds down to 4; (10 - 4) / 2 = 3.
    EXPECT_EQ(ajustarImagen({2, 3}, {3, 10}, 0), QRect(0, 3, 3, 4));
    // r = 0.5: 5.5 x 2, the width rounds up to 6.
    EXPECT_EQ(ajustarImagen({11, 4}, {6, 2}, 0), QRect(0, 0, 6, 2));
    // r = 1.6: 8 - 1 = 7 and 4.8 - 1 = 3.8 -> 4; (8 - 7) / 2 = 0.5 -> 0.
    EXPECT_EQ(ajustarImagen({5, 3}, {8, 10}, 1), QRect(0, 3, 7, 4));
    // (9 - 4) / 2 = 2.5 -> 2 and (11 - 4) / 2 = 3.5 -> 4.
    EXPECT_EQ(ajustarImagen({4, 4}, {9, 4}, 0).x(), 2);
    EXPECT_EQ(ajustarImagen({4, 4}, {4, 11}, 0).y(), 4);
}

TEST(AjustarImagen, SinNadaQueDibujarDaUnRectanguloVacio) {
    EXPECT_TRUE(ajustarImagen({0, 0}, {363, 105}, 32).isEmpty());
    EXPECT_TRUE(ajustarImagen({500, 184}, {0, 0}, 32).isEmpty());
    EXPECT_TRUE(ajustarImagen({500, 184}, {20, 20}, 32).isEmpty());
}

}  // namespace
}  // namespace kelmora::settings
