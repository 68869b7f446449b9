// Compile-time checks that our declarations of the host's records have the byte layout real hosts use.
// The x86 table is checked in the 32-bit Windows build, the x64 table in the 64-bit Windows build and
// natively (LP64 with the same fixed-width types).
#include <cstddef>

#include "host/host_records.h"

namespace aperlume {
namespace {

#define APERLUME_AT(type, field, x86, x64) \
    static_assert(offsetof(type, field) == (sizeof(void*) == 4 ? (x86) : (x64)), #type "::" #field)

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);

APERLUME_AT(FilterRecord, serialNumber, 0, 0);
APERLUME_AT(FilterRecord, abortProc, 4, 4);
APERLUME_AT(FilterRecord, progressProc, 8, 12);
APERLUME_AT(FilterRecord, parameters, 12, 20);
APERLUME_AT(FilterRecord, imageSize, 16, 28);
APERLUME_AT(FilterRecord, planes, 20, 32);
APERLUME_AT(FilterRecord, filterRect, 22, 34);
APERLUME_AT(FilterRecord, background, 30, 42);
APERLUME_AT(FilterRecord, foreground, 36, 48);
APERLUME_AT(FilterRecord, maxSpace, 44, 56);
APERLUME_AT(FilterRecord, bufferSpace, 48, 60);
APERLUME_AT(FilterRecord, inRect, 52, 64);
APERLUME_AT(FilterRecord, inLoPlane, 60, 72);
APERLUME_AT(FilterRecord, inHiPlane, 62, 74);
APERLUME_AT(FilterRecord, outRect, 64, 76);
APERLUME_AT(FilterRecord, outLoPlane, 72, 84);
APERLUME_AT(FilterRecord, outHiPlane, 74, 86);
APERLUME_AT(FilterRecord, inData, 76, 88);
APERLUME_AT(FilterRecord, inRowBytes, 80, 96);
APERLUME_AT(FilterRecord, outData, 84, 100);
APERLUME_AT(FilterRecord, outRowBytes, 88, 108);
APERLUME_AT(FilterRecord, isFloating, 92, 112);
APERLUME_AT(FilterRecord, haveMask, 93, 113);
APERLUME_AT(FilterRecord, autoMask, 94, 114);
APERLUME_AT(FilterRecord, maskRect, 96, 116);
APERLUME_AT(FilterRecord, maskData, 104, 124);
APERLUME_AT(FilterRecord, maskRowBytes, 108, 132);
APERLUME_AT(FilterRecord, backColor, 112, 136);
APERLUME_AT(FilterRecord, foreColor, 116, 140);
APERLUME_AT(FilterRecord, hostSig, 120, 144);
APERLUME_AT(FilterRecord, hostProc, 124, 148);
APERLUME_AT(FilterRecord, imageMode, 128, 156);
APERLUME_AT(FilterRecord, imageHRes, 132, 160);
APERLUME_AT(FilterRecord, imageVRes, 136, 164);
APERLUME_AT(FilterRecord, floatCoord, 140, 168);
APERLUME_AT(FilterRecord, wholeSize, 144, 172);
APERLUME_AT(FilterRecord, monitor, 148, 176);
APERLUME_AT(FilterRecord, platformData, 188, 216);
APERLUME_AT(FilterRecord, bufferProcs, 192, 224);
APERLUME_AT(FilterRecord, resourceProcs, 196, 232);
APERLUME_AT(FilterRecord, processEvent, 200, 240);
APERLUME_AT(FilterRecord, displayPixels, 204, 248);
APERLUME_AT(FilterRecord, handleProcs, 208, 256);
APERLUME_AT(FilterRecord, supportsDummyChannels, 212, 264);
APERLUME_AT(FilterRecord, supportsAlternateLayouts, 213, 265);
APERLUME_AT(FilterRecord, wantLayout, 214, 266);
APERLUME_AT(FilterRecord, filterCase, 216, 268);
APERLUME_AT(FilterRecord, dummyPlaneValue, 218, 270);
APERLUME_AT(FilterRecord, premiereHook, 220, 272);
APERLUME_AT(FilterRecord, advanceState, 224, 280);
APERLUME_AT(FilterRecord, supportsAbsolute, 228, 288);
APERLUME_AT(FilterRecord, wantsAbsolute, 229, 289);
APERLUME_AT(FilterRecord, getPropertyObsolete, 232, 292);
APERLUME_AT(FilterRecord, cannotUndo, 236, 300);
APERLUME_AT(FilterRecord, supportsPadding, 237, 301);
APERLUME_AT(FilterRecord, inputPadding, 238, 302);
APERLUME_AT(FilterRecord, outputPadding, 240, 304);
APERLUME_AT(FilterRecord, maskPadding, 242, 306);
APERLUME_AT(FilterRecord, samplingSupport, 244, 308);
APERLUME_AT(FilterRecord, reservedByte, 245, 309);
APERLUME_AT(FilterRecord, inputRate, 248, 312);
APERLUME_AT(FilterRecord, maskRate, 252, 316);
APERLUME_AT(FilterRecord, colorServices, 256, 320);
APERLUME_AT(FilterRecord, inLayerPlanes, 260, 328);
APERLUME_AT(FilterRecord, inTransparencyMask, 262, 330);
APERLUME_AT(FilterRecord, inLayerMasks, 264, 332);
APERLUME_AT(FilterRecord, inInvertedLayerMasks, 266, 334);
APERLUME_AT(FilterRecord, inNonLayerPlanes, 268, 336);
APERLUME_AT(FilterRecord, outLayerPlanes, 270, 338);
APERLUME_AT(FilterRecord, outTransparencyMask, 272, 340);
APERLUME_AT(FilterRecord, outLayerMasks, 274, 342);
APERLUME_AT(FilterRecord, outInvertedLayerMasks, 276, 344);
APERLUME_AT(FilterRecord, outNonLayerPlanes, 278, 346);
APERLUME_AT(FilterRecord, absLayerPlanes, 280, 348);
APERLUME_AT(FilterRecord, absTransparencyMask, 282, 350);
APERLUME_AT(FilterRecord, absLayerMasks, 284, 352);
APERLUME_AT(FilterRecord, absInvertedLayerMasks, 286, 354);
APERLUME_AT(FilterRecord, absNonLayerPlanes, 288, 356);
APERLUME_AT(FilterRecord, inPreDummyPlanes, 290, 358);
APERLUME_AT(FilterRecord, inPostDummyPlanes, 292, 360);
APERLUME_AT(FilterRecord, outPreDummyPlanes, 294, 362);
APERLUME_AT(FilterRecord, outPostDummyPlanes, 296, 364);
APERLUME_AT(FilterRecord, inColumnBytes, 300, 368);
APERLUME_AT(FilterRecord, inPlaneBytes, 304, 372);
APERLUME_AT(FilterRecord, outColumnBytes, 308, 376);
APERLUME_AT(FilterRecord, outPlaneBytes, 312, 380);
APERLUME_AT(FilterRecord, imageServicesProcs, 316, 384);
APERLUME_AT(FilterRecord, propertyProcs, 320, 392);
APERLUME_AT(FilterRecord, inTileHeight, 324, 400);
APERLUME_AT(FilterRecord, inTileWidth, 326, 402);
APERLUME_AT(FilterRecord, inTileOrigin, 328, 404);
APERLUME_AT(FilterRecord, absTileHeight, 332, 408);
APERLUME_AT(FilterRecord, absTileWidth, 334, 410);
APERLUME_AT(FilterRecord, absTileOrigin, 336, 412);
APERLUME_AT(FilterRecord, outTileHeight, 340, 416);
APERLUME_AT(FilterRecord, outTileWidth, 342, 418);
APERLUME_AT(FilterRecord, outTileOrigin, 344, 420);
APERLUME_AT(FilterRecord, maskTileHeight, 348, 424);
APERLUME_AT(FilterRecord, maskTileWidth, 350, 426);
APERLUME_AT(FilterRecord, maskTileOrigin, 352, 428);
APERLUME_AT(FilterRecord, descriptorParameters, 356, 432);
APERLUME_AT(FilterRecord, errorString, 360, 440);
APERLUME_AT(FilterRecord, channelPortProcs, 364, 448);
APERLUME_AT(FilterRecord, documentInfo, 368, 456);
APERLUME_AT(FilterRecord, sSPBasic, 372, 464);
APERLUME_AT(FilterRecord, plugInRef, 376, 472);
APERLUME_AT(FilterRecord, depth, 380, 480);
APERLUME_AT(FilterRecord, iCCprofileData, 384, 484);
APERLUME_AT(FilterRecord, iCCprofileSize, 388, 492);
APERLUME_AT(FilterRecord, canUseICCProfiles, 392, 496);
APERLUME_AT(FilterRecord, hasImageScrap, 396, 500);
APERLUME_AT(FilterRecord, bigDocumentData, 400, 504);
APERLUME_AT(FilterRecord, input3DScene, 404, 512);
APERLUME_AT(FilterRecord, output3DScene, 408, 520);
APERLUME_AT(FilterRecord, createNewLayer, 412, 528);
APERLUME_AT(FilterRecord, iCCWorkingProfileData, 416, 532);
APERLUME_AT(FilterRecord, iCCWorkingProfileSize, 420, 540);
APERLUME_AT(FilterRecord, bufferSpace64, 424, 544);
APERLUME_AT(FilterRecord, maxSpace64, 432, 552);
APERLUME_AT(FilterRecord, allowOverrangeColors, 440, 560);
APERLUME_AT(FilterRecord, reserved, 441, 561);
static_assert(sizeof(FilterRecord) == (sizeof(void*) == 4 ? 488 : 608));

APERLUME_AT(HandleProcs, newProc, 4, 8);
APERLUME_AT(HandleProcs, disposeProc, 8, 16);
APERLUME_AT(HandleProcs, getSizeProc, 12, 24);
APERLUME_AT(HandleProcs, setSizeProc, 16, 32);
APERLUME_AT(HandleProcs, lockProc, 20, 40);
APERLUME_AT(HandleProcs, unlockProc, 24, 48);
APERLUME_AT(HandleProcs, recoverSpaceProc, 28, 56);
APERLUME_AT(HandleProcs, disposeRegularHandleProc, 32, 64);
static_assert(sizeof(HandleProcs) == (sizeof(void*) == 4 ? 36 : 72));

APERLUME_AT(PIDescriptorParameters, playInfo, 2, 2);
APERLUME_AT(PIDescriptorParameters, recordInfo, 4, 4);
APERLUME_AT(PIDescriptorParameters, descriptor, 8, 8);
APERLUME_AT(PIDescriptorParameters, writeDescriptorProcs, 12, 16);
APERLUME_AT(PIDescriptorParameters, readDescriptorProcs, 16, 24);
static_assert(sizeof(PIDescriptorParameters) == (sizeof(void*) == 4 ? 20 : 32));

APERLUME_AT(ReadDescriptorProcs, openReadDescriptorProc, 4, 8);
APERLUME_AT(ReadDescriptorProcs, getKeyProc, 12, 24);
APERLUME_AT(ReadDescriptorProcs, getEnumeratedProc, 40, 80);
APERLUME_AT(ReadDescriptorProcs, getPinnedUnitFloatProc, 72, 144);
APERLUME_AT(WriteDescriptorProcs, openWriteDescriptorProc, 4, 8);
APERLUME_AT(WriteDescriptorProcs, putIntegerProc, 12, 24);
APERLUME_AT(WriteDescriptorProcs, putEnumeratedProc, 36, 72);
APERLUME_AT(WriteDescriptorProcs, putScopedObjectProc, 64, 128);

APERLUME_AT(PSPixelMask, maskData, 4, 8);
APERLUME_AT(PSPixelMask, rowBytes, 8, 16);
APERLUME_AT(PSPixelMask, colBytes, 12, 20);
APERLUME_AT(PSPixelMask, maskDescription, 16, 24);
static_assert(sizeof(PSPixelMask) == (sizeof(void*) == 4 ? 20 : 32));

APERLUME_AT(PSPixelMap, bounds, 4, 4);
APERLUME_AT(PSPixelMap, imageMode, 20, 20);
APERLUME_AT(PSPixelMap, rowBytes, 24, 24);
APERLUME_AT(PSPixelMap, colBytes, 28, 28);
APERLUME_AT(PSPixelMap, planeBytes, 32, 32);
APERLUME_AT(PSPixelMap, baseAddr, 36, 40);
APERLUME_AT(PSPixelMap, mat, 40, 48);
APERLUME_AT(PSPixelMap, masks, 44, 56);
APERLUME_AT(PSPixelMap, maskPhaseRow, 48, 64);
APERLUME_AT(PSPixelMap, maskPhaseCol, 52, 68);

APERLUME_AT(AboutRecord, sSPBasic, 4, 8);
APERLUME_AT(AboutRecord, plugInRef, 8, 16);
static_assert(sizeof(AboutRecord) == (sizeof(void*) == 4 ? 256 : 272));
static_assert(sizeof(PlatformData) == sizeof(void*));

#undef APERLUME_AT

}  // namespace
}  // namespace aperlume
