#pragma once

#include <cstdint>

// The numbers an enhanced metafile is made of: record types, and the GDI constants that records
// carry in their fields. The player, the recorder, the bitmap decoder and the tests all name them
// from here, with the spelling GDI gives them, so that a record reads the same in code as in a dump.
namespace tarvolo::emf {

// EMF record types.
namespace emr {
enum : std::uint32_t {
    Header = 1, PolyBezier = 2, Polygon = 3, Polyline = 4, PolyBezierTo = 5, PolylineTo = 6, PolyPolyline = 7,
    PolyPolygon = 8, SetWindowExtEx = 9, SetWindowOrgEx = 10, SetViewportExtEx = 11, SetViewportOrgEx = 12,
    SetBrushOrgEx = 13, Eof = 14, SetPixelV = 15, SetMapperFlags = 16, SetMapMode = 17, SetBkMode = 18,
    SetPolyFillMode = 19, SetRop2 = 20, SetStretchBltMode = 21, SetTextAlign = 22, SetColorAdjustment = 23,
    SetTextColor = 24, SetBkColor = 25, OffsetClipRgn = 26, MoveToEx = 27, SetMetaRgn = 28, ExcludeClipRect = 29,
    IntersectClipRect = 30, ScaleViewportExtEx = 31, ScaleWindowExtEx = 32, SaveDC = 33, RestoreDC = 34,
    SetWorldTransform = 35, ModifyWorldTransform = 36, SelectObject = 37, CreatePen = 38, CreateBrushIndirect = 39,
    DeleteObject = 40, AngleArc = 41, Ellipse = 42, Rectangle = 43, RoundRect = 44, Arc = 45, Chord = 46, Pie = 47,
    SelectPalette = 48, CreatePalette = 49, SetPaletteEntries = 50, ResizePalette = 51, RealizePalette = 52,
    ExtFloodFill = 53, LineTo = 54, ArcTo = 55, PolyDraw = 56, SetArcDirection = 57, SetMiterLimit = 58,
    BeginPath = 59, EndPath = 60, CloseFigure = 61, FillPath = 62, StrokeAndFillPath = 63, StrokePath = 64,
    FlattenPath = 65, WidenPath = 66, SelectClipPath = 67, AbortPath = 68, GdiComment = 70, FillRgn = 71,
    FrameRgn = 72, InvertRgn = 73, PaintRgn = 74, ExtSelectClipRgn = 75, BitBlt = 76, StretchBlt = 77,
    MaskBlt = 78, PlgBlt = 79, SetDIBitsToDevice = 80, StretchDIBits = 81, ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83, ExtTextOutW = 84, PolyBezier16 = 85, Polygon16 = 86, Polyline16 = 87, PolyBezierTo16 = 88,
    PolylineTo16 = 89, PolyPolyline16 = 90, PolyPolygon16 = 91, PolyDraw16 = 92, CreateMonoBrush = 93,
    CreateDIBPatternBrushPt = 94, ExtCreatePen = 95, PolyTextOutA = 96, PolyTextOutW = 97, SetIcmMode = 98,
    CreateColorSpace = 99, SetColorSpace = 100, DeleteColorSpace = 101, SmallTextOut = 108, SetLayout = 115,
    AlphaBlend = 114, TransparentBlt = 116, GradientFill = 118,
};
} // namespace emr

namespace gdi {

// Object indexes with the high bit set name stock objects rather than slots of the object table.
constexpr std::uint32_t ENHMETA_STOCK_OBJECT = 0x80000000u;
enum : std::uint32_t {
    WHITE_BRUSH = ENHMETA_STOCK_OBJECT | 0, LTGRAY_BRUSH = ENHMETA_STOCK_OBJECT | 1, GRAY_BRUSH = ENHMETA_STOCK_OBJECT | 2,
    DKGRAY_BRUSH = ENHMETA_STOCK_OBJECT | 3, BLACK_BRUSH = ENHMETA_STOCK_OBJECT | 4, NULL_BRUSH = ENHMETA_STOCK_OBJECT | 5,
    WHITE_PEN = ENHMETA_STOCK_OBJECT | 6, BLACK_PEN = ENHMETA_STOCK_OBJECT | 7, NULL_PEN = ENHMETA_STOCK_OBJECT | 8,
    OEM_FIXED_FONT = ENHMETA_STOCK_OBJECT | 10, ANSI_FIXED_FONT = ENHMETA_STOCK_OBJECT | 11,
    ANSI_VAR_FONT = ENHMETA_STOCK_OBJECT | 12, SYSTEM_FONT = ENHMETA_STOCK_OBJECT | 13,
    DEVICE_DEFAULT_FONT = ENHMETA_STOCK_OBJECT | 14, DEFAULT_PALETTE = ENHMETA_STOCK_OBJECT | 15,
    SYSTEM_FIXED_FONT = ENHMETA_STOCK_OBJECT | 16, DEFAULT_GUI_FONT = ENHMETA_STOCK_OBJECT | 17,
    DC_BRUSH = ENHMETA_STOCK_OBJECT | 18, DC_PEN = ENHMETA_STOCK_OBJECT | 19,
};

// Pens: a style in the low bits, end cap, join and type above it.
enum : std::uint32_t {
    PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6,
    PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0xF, PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100,
    PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00, PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000,
    PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000, PS_COSMETIC = 0x00000, PS_GEOMETRIC = 0x10000,
};
enum : std::uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6 };
enum : std::uint32_t {
    HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5,
};

// Fonts.
enum : std::int32_t { FW_NORMAL = 400, FW_BOLD = 700 };
enum : std::uint8_t { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1 };
enum : std::uint8_t { OUT_DEFAULT_PRECIS = 0, CLIP_DEFAULT_PRECIS = 0, DEFAULT_QUALITY = 0, DEFAULT_PITCH = 0 };

// Device context modes.
enum : int { MM_TEXT = 1, MM_LOMETRIC, MM_HIMETRIC, MM_LOENGLISH, MM_HIENGLISH, MM_TWIPS, MM_ISOTROPIC, MM_ANISOTROPIC };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { ALTERNATE = 1, WINDING = 2 };
enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
enum : int { AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2 };
enum : std::uint32_t { GM_COMPATIBLE = 1, GM_ADVANCED = 2 };
enum : std::uint32_t { MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3, MWT_SET = 4 };
enum : int {
    R2_BLACK = 1, R2_NOTMERGEPEN, R2_MASKNOTPEN, R2_NOTCOPYPEN, R2_MASKPENNOT, R2_NOT, R2_XORPEN, R2_NOTMASKPEN,
    R2_MASKPEN, R2_NOTXORPEN, R2_NOP, R2_MERGENOTPEN, R2_COPYPEN, R2_MERGEPENNOT, R2_MERGEPEN, R2_WHITE,
};

// Clipping regions: how a new region combines with the current one, and the one kind of region data.
enum : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum : std::uint32_t { RDH_RECTANGLES = 1 };

// Text. Horizontal and vertical alignment are fields of several bits: TA_CENTER includes
// TA_RIGHT's bit and TA_BASELINE TA_BOTTOM's, so test them with a mask of the whole value.
enum : std::uint32_t {
    TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8,
    TA_BASELINE = 24, TA_RTLREADING = 256,
};
enum : std::uint32_t {
    ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_NO_RECT = 0x100, ETO_SMALL_CHARS = 0x200,
    ETO_PDY = 0x2000,
};

// Bitmaps.
enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5 };
enum : std::uint32_t { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };
enum : std::uint8_t { AC_SRC_OVER = 0, AC_SRC_ALPHA = 1 };
// Ternary raster operations: the boolean function of pattern, source and destination in the
// third byte, and GDI's encoding of how to compute it in the low word.
enum : std::uint32_t {
    SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046, SRCERASE = 0x00440328,
    NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6, MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226,
    PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09, PATINVERT = 0x005A0049, DSTINVERT = 0x00550009,
    BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062, DSTCOPY = 0x00AA0029,
};
enum : std::uint32_t { GRADIENT_FILL_RECT_H = 0, GRADIENT_FILL_RECT_V = 1, GRADIENT_FILL_TRIANGLE = 2 };

// PolyDraw point types; PT_CLOSEFIGURE is a flag on PT_LINETO and PT_BEZIERTO.
enum : std::uint32_t { PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6 };

} // namespace gdi

} // namespace tarvolo::emf
