// The host's records, declared once, with the binary layout real hosts use on Windows (x86 and x64).
//
// FilterRecord is packed to 4 bytes on both targets; every other record is naturally aligned. Only
// fixed-width types appear, so the same header compiles natively (LP64) for the unit tests: the
// native layout is the x64 one. Hosts of different ages hand over records of different lengths, so
// nothing may rely on sizeof(FilterRecord) or read fields newer than the ones we use; optional
// pointers (suites, descriptor parameters, platform data) may be null.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/image_modes.h"

namespace aperlume {

using OSErr = std::int16_t;
using Boolean = std::uint8_t;
using Fixed = std::int32_t;
using OSType = std::uint32_t;
using Handle = void*;
using Ptr = void*;

// A four-character code as a 32-bit integer, first character in the most significant byte.
constexpr OSType FourCC(const char (&code)[5]) {
    return (static_cast<OSType>(static_cast<std::uint8_t>(code[0])) << 24) |
           (static_cast<OSType>(static_cast<std::uint8_t>(code[1])) << 16) |
           (static_cast<OSType>(static_cast<std::uint8_t>(code[2])) << 8) |
           static_cast<OSType>(static_cast<std::uint8_t>(code[3]));
}

struct Point16 {
    std::int16_t v;
    std::int16_t h;
};

struct Rect16 {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

struct VPoint {
    std::int32_t v;
    std::int32_t h;
};

struct VRect {
    std::int32_t top;
    std::int32_t left;
    std::int32_t bottom;
    std::int32_t right;
};

struct RGBColor16 {
    std::uint16_t red;
    std::uint16_t green;
    std::uint16_t blue;
};

struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

// Callback types: plain cdecl on Windows (the SDK's MACPASCAL is empty there).
extern "C" {
using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(std::int32_t done, std::int32_t total);
using HostProc = void (*)(std::int16_t selector, std::intptr_t* data);
using AdvanceStateProc = OSErr (*)();
using ProcessEventProc = void (*)(void* event);
using ColorServicesProc = OSErr (*)(void* info);
using GetPropertyProc = OSErr (*)(OSType signature, OSType key, std::int32_t index, std::intptr_t* simple,
                                  Handle* complex);

using NewPIHandleProc = Handle (*)(std::int32_t size);
using DisposePIHandleProc = void (*)(Handle handle);
using GetPIHandleSizeProc = std::int32_t (*)(Handle handle);
using SetPIHandleSizeProc = OSErr (*)(Handle handle, std::int32_t size);
using LockPIHandleProc = Ptr (*)(Handle handle, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle handle);
using RecoverSpaceProc = void (*)(std::int32_t size);
using DisposeRegularHandleProc = void (*)(Handle handle);
}

struct HandleProcs {
    std::int16_t handleProcsVersion;
    std::int16_t numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandleProc disposeRegularHandleProc;
};

// What FilterRecord::platformData points at: the host's window handle (may be 0).
struct PlatformData {
    std::intptr_t hwnd;
};

// Handed to the about selector instead of a FilterRecord.
struct AboutRecord {
    void* platformData;
    void* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

// ---- Scripting descriptors ----------------------------------------------------------------------

using PIReadDescriptor = void*;
using PIWriteDescriptor = void*;
using DescriptorKeyID = std::uint32_t;
using DescriptorTypeID = std::uint32_t;
using DescriptorEnumID = std::uint32_t;
using DescriptorUnitID = std::uint32_t;
using DescriptorClassID = std::uint32_t;
using DescriptorKeyIDArray = DescriptorKeyID*;

struct PIDescriptorSimpleReference {
    DescriptorTypeID desiredClass;
    DescriptorKeyID keyForm;
    struct {
        std::uint8_t name[256];
        std::int32_t index;
        DescriptorTypeID type;
        DescriptorEnumID value;
    } keyData;
};

extern "C" {
using OpenReadDescriptorProc = PIReadDescriptor (*)(Handle descriptor, DescriptorKeyIDArray keys);
using CloseReadDescriptorProc = OSErr (*)(PIReadDescriptor token);
using GetKeyProc = Boolean (*)(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type,
                               std::int32_t* flags);
using GetIntegerProc = OSErr (*)(PIReadDescriptor token, std::int32_t* value);
using GetFloatProc = OSErr (*)(PIReadDescriptor token, double* value);
using GetUnitFloatProc = OSErr (*)(PIReadDescriptor token, DescriptorUnitID* unit, double* value);
using GetBooleanProc = OSErr (*)(PIReadDescriptor token, Boolean* value);
using GetTextProc = OSErr (*)(PIReadDescriptor token, Handle* value);
using GetAliasProc = OSErr (*)(PIReadDescriptor token, Handle* value);
using GetEnumeratedProc = OSErr (*)(PIReadDescriptor token, DescriptorEnumID* value);
using GetClassProc = OSErr (*)(PIReadDescriptor token, DescriptorTypeID* value);
using GetSimpleReferenceProc = OSErr (*)(PIReadDescriptor token, PIDescriptorSimpleReference* value);
using GetObjectProc = OSErr (*)(PIReadDescriptor token, DescriptorTypeID* type, Handle* value);
using GetCountProc = OSErr (*)(PIReadDescriptor token, std::uint32_t* value);
using GetStringProc = OSErr (*)(PIReadDescriptor token, std::uint8_t* value);
using GetPinnedIntegerProc = OSErr (*)(PIReadDescriptor token, std::int32_t min, std::int32_t max,
                                       std::int32_t* value);
using GetPinnedFloatProc = OSErr (*)(PIReadDescriptor token, const double* min, const double* max,
                                     double* value);
using GetPinnedUnitFloatProc = OSErr (*)(PIReadDescriptor token, const double* min, const double* max,
                                         DescriptorUnitID* unit, double* value);

using OpenWriteDescriptorProc = PIWriteDescriptor (*)();
using CloseWriteDescriptorProc = OSErr (*)(PIWriteDescriptor token, Handle* descriptor);
using PutIntegerProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, std::int32_t value);
using PutFloatProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, const double* value);
using PutUnitFloatProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                                   const double* value);
using PutBooleanProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, Boolean value);
using PutTextProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, Handle value);
using PutAliasProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, Handle value);
using PutEnumeratedProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                                    DescriptorEnumID value);
using PutClassProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type);
using PutSimpleReferenceProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key,
                                         const PIDescriptorSimpleReference* value);
using PutObjectProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                                Handle value);
using PutCountProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, std::uint32_t value);
using PutStringProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, const std::uint8_t* value);
using PutScopedClassProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type);
using PutScopedObjectProc = OSErr (*)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                                      Handle value);
}

struct ReadDescriptorProcs {
    std::int16_t readDescriptorProcsVersion;
    std::int16_t numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

struct WriteDescriptorProcs {
    std::int16_t writeDescriptorProcsVersion;
    std::int16_t numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

struct PIDescriptorParameters {
    std::int16_t descriptorParametersVersion;
    std::int16_t playInfo;
    std::int16_t recordInfo;
    Handle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// ---- Pixel maps for displayPixels ---------------------------------------------------------------

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    std::int32_t rowBytes;
    std::int32_t colBytes;
    std::int32_t maskDescription;
};

struct PSPixelMap {
    std::int32_t version;
    VRect bounds;
    std::int32_t imageMode;
    std::int32_t rowBytes;
    std::int32_t colBytes;
    std::int32_t planeBytes;
    void* baseAddr;
    PSPixelMask* mat;
    PSPixelMask* masks;
    std::int32_t maskPhaseRow;
    std::int32_t maskPhaseCol;
};

extern "C" {
using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect, std::int32_t dstRow,
                                    std::int32_t dstCol, void* platformContext);
}

// ---- The filter record -------------------------------------------------------------------------

#pragma pack(push, 4)
struct FilterRecord {
    std::int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point16 imageSize;
    std::int16_t planes;
    Rect16 filterRect;
    RGBColor16 background;
    RGBColor16 foreground;
    std::int32_t maxSpace;
    std::int32_t bufferSpace;
    Rect16 inRect;
    std::int16_t inLoPlane;
    std::int16_t inHiPlane;
    Rect16 outRect;
    std::int16_t outLoPlane;
    std::int16_t outHiPlane;
    void* inData;
    std::int32_t inRowBytes;
    void* outData;
    std::int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect16 maskRect;
    void* maskData;
    std::int32_t maskRowBytes;
    std::uint8_t backColor[4];
    std::uint8_t foreColor[4];
    OSType hostSig;
    HostProc hostProc;
    std::int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point16 floatCoord;
    Point16 wholeSize;
    PlugInMonitor monitor;
    PlatformData* platformData;
    void* bufferProcs;
    void* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    std::int16_t wantLayout;
    std::int16_t filterCase;
    std::int16_t dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    std::int16_t inputPadding;
    std::int16_t outputPadding;
    std::int16_t maskPadding;
    std::uint8_t samplingSupport;
    std::uint8_t reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    std::int16_t inLayerPlanes;
    std::int16_t inTransparencyMask;
    std::int16_t inLayerMasks;
    std::int16_t inInvertedLayerMasks;
    std::int16_t inNonLayerPlanes;
    std::int16_t outLayerPlanes;
    std::int16_t outTransparencyMask;
    std::int16_t outLayerMasks;
    std::int16_t outInvertedLayerMasks;
    std::int16_t outNonLayerPlanes;
    std::int16_t absLayerPlanes;
    std::int16_t absTransparencyMask;
    std::int16_t absLayerMasks;
    std::int16_t absInvertedLayerMasks;
    std::int16_t absNonLayerPlanes;
    std::int16_t inPreDummyPlanes;
    std::int16_t inPostDummyPlanes;
    std::int16_t outPreDummyPlanes;
    std::int16_t outPostDummyPlanes;
    std::int32_t inColumnBytes;
    std::int32_t inPlaneBytes;
    std::int32_t outColumnBytes;
    std::int32_t outPlaneBytes;
    void* imageServicesProcs;
    void* propertyProcs;
    std::int16_t inTileHeight;
    std::int16_t inTileWidth;
    Point16 inTileOrigin;
    std::int16_t absTileHeight;
    std::int16_t absTileWidth;
    Point16 absTileOrigin;
    std::int16_t outTileHeight;
    std::int16_t outTileWidth;
    Point16 outTileOrigin;
    std::int16_t maskTileHeight;
    std::int16_t maskTileWidth;
    Point16 maskTileOrigin;
    PIDescriptorParameters* descriptorParameters;
    std::uint8_t* errorString;
    void* channelPortProcs;
    void* documentInfo;
    void* sSPBasic;
    void* plugInRef;
    std::int32_t depth;
    Handle iCCprofileData;
    std::int32_t iCCprofileSize;
    std::int32_t canUseICCProfiles;
    std::int32_t hasImageScrap;
    void* bigDocumentData;
    PIDescriptorParameters* input3DScene;
    PIDescriptorParameters* output3DScene;
    Boolean createNewLayer;
    Handle iCCWorkingProfileData;
    std::int32_t iCCWorkingProfileSize;
    std::int64_t bufferSpace64;
    std::int64_t maxSpace64;
    Boolean allowOverrangeColors;
    char reserved[45];
};
#pragma pack(pop)

// Selectors and the record's constants we use (the image modes are in base/image_modes.h).
enum : std::int16_t {
    kSelectorAbout = 0,
    kSelectorParameters = 1,
    kSelectorPrepare = 2,
    kSelectorStart = 3,
    kSelectorContinue = 4,
    kSelectorFinish = 5,
};

}  // namespace aperlume
