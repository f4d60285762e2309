// Our declarations of the parts of Layout's binary interface that the module uses. Member
// order and sizes follow Layout's own tables so that a Windows build loads in Layout; a
// member we never call is still declared so the ones we call sit where Layout puts them.
// Both the module and the stand-in host include this file.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef void* LWItemID;
#define LWITEM_NULL ((LWItemID)0)
typedef int LWItemType;
typedef int LWItemParam;
typedef int LWFrame;
typedef int LWCommandCode;
typedef double LWTime;
typedef double LWDVector[3];

typedef void* GlobalFunc(const char* serviceName, int useMode);
typedef int ActivateFunc(long version, GlobalFunc* global, void* local, void* serverData);

enum {
  AFUNC_OK = 0,
  AFUNC_BADVERSION = 1,
  AFUNC_BADGLOBAL = 2,
  AFUNC_BADLOCAL = 3,
  AFUNC_BADAPP = 4,
};

enum { GFUSE_TRANSIENT = 0, GFUSE_ACQUIRE = 1, GFUSE_RELEASE = 2 };

// --- module descriptor ---
typedef struct st_ServerTagInfo {
  const char* string;
  unsigned int tag;
} ServerTagInfo;

typedef struct st_ServerRecord {
  const char* className;
  const char* name;
  ActivateFunc* activate;
  ServerTagInfo* tagInfo;
} ServerRecord;

typedef struct st_ModuleDescriptor {
  unsigned long sysSync;
  unsigned long sysVersion;
  unsigned long sysMachine;
  void* (*startup)(void);
  void (*shutdown)(void*);
  ServerRecord* serverDefs;
} ModuleDescriptor;

#define MOD_SYSSYNC 0x04121994UL
#define MOD_SYSVER 3UL
#define MOD_MACHINE 0x300UL

// --- the activation's local record for "LayoutGeneric" servers ---
typedef struct st_LWLayoutGeneric {
  int (*saveScene)(const char* file);
  int (*loadScene)(const char* file, const char* name);
  void* data;
  LWCommandCode (*lookup)(void* data, const char* cmdName);
  int (*execute)(void* data, LWCommandCode cmd, int argc, const void* argv, void* result);
  int (*evaluate)(void* data, const char* command);
} LWLayoutGeneric;

// --- "LW Item Info 3" ---
#define LWITEMINFO_GLOBAL "LW Item Info 3"

enum { LWI_OBJECT = 0, LWI_LIGHT = 1, LWI_CAMERA = 2, LWI_BONE = 3 };

enum {
  LWIP_POSITION = 1,
  LWIP_RIGHT = 2,
  LWIP_UP = 3,
  LWIP_FORWARD = 4,
  LWIP_ROTATION = 5,
  LWIP_SCALING = 6,
  LWIP_PIVOT = 7,
  LWIP_W_POSITION = 8,
  LWIP_W_RIGHT = 9,
  LWIP_W_UP = 10,
  LWIP_W_FORWARD = 11,
  LWIP_PIVOT_ROT = 12,
};

typedef struct st_LWItemInfo {
  LWItemID (*first)(LWItemType type, LWItemID object);
  LWItemID (*next)(LWItemID item);
  LWItemID (*firstChild)(LWItemID parent);
  LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
  LWItemID (*parent)(LWItemID item);
  LWItemID (*target)(LWItemID item);
  LWItemID (*goal)(LWItemID item);
  LWItemType (*type)(LWItemID item);
  const char* (*name)(LWItemID item);
  void (*param)(LWItemID item, LWItemParam which, LWTime time, LWDVector vector);
  unsigned int (*limits)(LWItemID item, LWItemParam which, LWDVector min, LWDVector max);
  const char* (*getTag)(LWItemID item, int tag);
  void (*setTag)(LWItemID item, int tag, const char* text);
  void* (*chanGroup)(LWItemID item);
  const char* (*server)(LWItemID item, const char* serverClass, int index);
  unsigned int (*serverFlags)(LWItemID item, const char* serverClass, int index);
  void (*controller)(LWItemID item, LWItemParam which, int type[3]);
  unsigned int (*flags)(LWItemID item);
  LWTime (*lookAhead)(LWItemID item);
  double (*goalStrength)(LWItemID item, LWTime time);
  void (*stiffness)(LWItemID item, LWItemParam which, LWDVector vector);
} LWItemInfo;

// --- "LW Bone Info 3" ---
#define LWBONEINFO_GLOBAL "LW Bone Info 3"

constexpr unsigned int LWBONEF_ACTIVE = 1u << 0;
constexpr unsigned int LWBONEF_LIMITED_RANGE = 1u << 1;
constexpr unsigned int LWBONEF_SCALE_STRENGTH = 1u << 2;
constexpr unsigned int LWBONEF_WEIGHT_MAP_ONLY = 1u << 3;
constexpr unsigned int LWBONEF_WEIGHT_NORM = 1u << 4;
constexpr unsigned int LWBONEF_JOINT_COMP = 1u << 5;
constexpr unsigned int LWBONEF_JOINT_COMP_PAR = 1u << 6;
constexpr unsigned int LWBONEF_MUSCLE_FLEX = 1u << 7;
constexpr unsigned int LWBONEF_MUSCLE_FLEX_PAR = 1u << 8;

typedef struct st_LWBoneInfo {
  unsigned int (*flags)(LWItemID bone);
  void (*restParam)(LWItemID bone, LWItemParam which, LWDVector vector);
  double (*restLength)(LWItemID bone);
  void (*limits)(LWItemID bone, double* inner, double* outer);
  const char* (*weightMap)(LWItemID bone);
  double (*strength)(LWItemID bone);
  int (*falloff)(LWItemID bone);
  void (*jointComp)(LWItemID bone, double* self, double* parent);
  void (*muscleFlex)(LWItemID bone, double* self, double* parent);
} LWBoneInfo;

// --- "LW Interface Info 3" ---
#define LWINTERFACEINFO_GLOBAL "LW Interface Info 3"

constexpr unsigned int LWITEMF_SELECTED = 1u << 0;
constexpr unsigned int LWGENF_PARENTINPLACE = 1u << 2;

typedef struct st_LWInterfaceInfo {
  LWTime curTime;
  const LWItemID* selItems;
  unsigned int (*itemFlags)(LWItemID item);
  LWFrame previewStart;
  LWFrame previewEnd;
  LWFrame previewStep;
  int dynaUpdate;
  void (*schemaPos)(LWItemID item, double* x, double* y);
  int (*itemVis)(LWItemID item);
  unsigned int displayFlags;
  unsigned int generalFlags;
  int boxThreshold;
  int (*itemColor)(LWItemID item);
  int alertLevel;
} LWInterfaceInfo;

// --- "Info Messages 2" ---
#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

typedef struct st_LWMessageFuncs {
  void (*info)(const char* text1, const char* text2);
  void (*error)(const char* text1, const char* text2);
  void (*warning)(const char* text1, const char* text2);
  int (*okCancel)(const char* title, const char* text1, const char* text2);
  int (*yesNo)(const char* title, const char* text1, const char* text2);
  int (*yesNoCan)(const char* title, const char* text1, const char* text2);
  int (*yesNoAll)(const char* title, const char* text1, const char* text2);
} LWMessageFuncs;

// --- "LWPanelServices" ---
#define LWPANELFUNCS_GLOBAL "LWPanelServices"

typedef void* LWPanelID;

typedef enum en_LWType {
  LWT_NULL = 0,
  LWT_STRING,
  LWT_INTEGER,
  LWT_FLOAT,
  LWT_DISTANCE,
  LWT_VINT,
  LWT_VFLOAT,
  LWT_VDIST,
  LWT_BOOLEAN,
  LWT_CHOICE,
  LWT_SURFACE,
  LWT_FONT,
  LWT_TEXT,
  LWT_LAYERS,
  LWT_CUSTOM,
  LWT_RANGE,
  LWT_LWITEM,
  LWT_PERCENT,
  LWT_POPUP,
  LWT_AREA,
  LWT_XPANEL,
  LWT_TREE,
  LWT_MLIST,
} LWType;

enum { CTL_X = 0, CTL_Y = 1, CTL_W = 2, CTL_H = 3, CTL_VALUE = 4 };

enum { PANF_BLOCKING = 1, PANF_CANCEL = 2, PANF_FRAME = 4 };

typedef struct st_LWValString {
  LWType type;
  char* buf;
  int bufLen;
} LWValString;
typedef struct st_LWValInt {
  LWType type;
  int value;
  int defVal;
} LWValInt;
typedef struct st_LWValFloat {
  LWType type;
  double value;
  double defVal;
} LWValFloat;
typedef struct st_LWValIVector {
  LWType type;
  int val[3];
  int defVal;
} LWValIVector;
typedef struct st_LWValFVector {
  LWType type;
  double val[3];
  double defVal;
} LWValFVector;
typedef struct st_LWValPointer {
  LWType type;
  void* ptr;
} LWValPointer;
typedef struct st_LWValCustom {
  LWType type;
  int val[4];
} LWValCustom;

typedef union un_LWValue {
  LWType type;
  LWValString str;
  LWValInt intv;
  LWValFloat flt;
  LWValIVector ivec;
  LWValFVector fvec;
  LWValPointer ptr;
  LWValCustom cust;
} LWValue;

typedef struct st_LWPanChoiceDesc {
  LWType type;
  const char** items;
  int vertical;
} LWPanChoiceDesc;
typedef struct st_LWPanRangeDesc {
  LWType type;
  int width;
  int min;
  int max;
} LWPanRangeDesc;
typedef struct st_LWPanLWItemDesc {
  LWType type;
  void* global;
  int itemType;
  char** list;
  int count;
  int width;
} LWPanLWItemDesc;

// Layout's descriptor union has further members; this keeps ours at least as large.
typedef struct st_LWPanReservedDesc {
  LWType type;
  int reserved[sizeof(void*) == 8 ? 11 : 6];
} LWPanReservedDesc;

typedef union un_LWPanControlDesc {
  LWType type;
  LWPanChoiceDesc choice;
  LWPanRangeDesc range;
  LWPanLWItemDesc lwitem;
  LWPanReservedDesc reserved;
} LWPanControlDesc;

typedef struct st_LWControl {
  void (*draw)(struct st_LWControl* control, int mode);
  void (*get)(struct st_LWControl* control, int tag, LWValue* value);
  void (*set)(struct st_LWControl* control, int tag, LWValue* value);
  void* priv_data;
} LWControl;

typedef struct st_LWPanelFuncs {
  LWPanelID (*create)(char* title, void* panelFuncs);
  void (*destroy)(LWPanelID panel);
  int (*open)(LWPanelID panel, int flags);
  int (*handle)(LWPanelID panel, int flags);
  void (*draw)(LWPanelID panel, int mode);
  void (*close)(LWPanelID panel);
  void (*get)(LWPanelID panel, int tag, void* value);
  void (*set)(LWPanelID panel, int tag, void* value);
  LWControl* (*addControl)(LWPanelID panel, char* type, LWPanControlDesc* desc, char* label);
  LWControl* (*nextControl)(LWPanelID panel, LWControl* control);
  void* drawFuncs;
  void* user_data;
  GlobalFunc* globalFun;
} LWPanelFuncs;

}  // extern "C"

// The item id as Layout prints it with "%x": only its low 32 bits count.
inline unsigned int lwItemNumber(LWItemID id) {
  return static_cast<unsigned int>(
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(id)));
}
inline LWItemID lwItemFromNumber(std::uint32_t number) {
  return reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(number));
}

// --- layout checks: these are the sizes and offsets Layout's tables have ---
#define VORRIK_PTR sizeof(void*)
static_assert(sizeof(LWItemInfo) == 21 * VORRIK_PTR, "LWItemInfo has 21 members");
static_assert(offsetof(LWItemInfo, param) == 9 * VORRIK_PTR, "param is member 10");
static_assert(offsetof(LWItemInfo, stiffness) == 20 * VORRIK_PTR, "stiffness is member 21");
static_assert(sizeof(LWBoneInfo) == 9 * VORRIK_PTR, "LWBoneInfo has 9 members");
static_assert(offsetof(LWBoneInfo, restLength) == 2 * VORRIK_PTR, "restLength is member 3");
static_assert(sizeof(LWMessageFuncs) == 7 * VORRIK_PTR, "LWMessageFuncs has 7 members");
static_assert(offsetof(LWMessageFuncs, okCancel) == 3 * VORRIK_PTR, "okCancel is member 4");
static_assert(sizeof(LWLayoutGeneric) == 6 * VORRIK_PTR, "LWLayoutGeneric has 6 members");
static_assert(offsetof(LWLayoutGeneric, evaluate) == 5 * VORRIK_PTR, "evaluate is member 6");
static_assert(sizeof(LWPanelFuncs) == 13 * VORRIK_PTR, "LWPanelFuncs has 13 members");
static_assert(offsetof(LWPanelFuncs, addControl) == 8 * VORRIK_PTR, "addControl is member 9");
static_assert(offsetof(LWPanelFuncs, globalFun) == 12 * VORRIK_PTR, "globalFun is last");
static_assert(sizeof(LWControl) == 4 * VORRIK_PTR, "LWControl has 4 members");
static_assert(sizeof(ServerRecord) == 4 * VORRIK_PTR, "ServerRecord: 16 or 32 bytes");
static_assert(offsetof(LWValFloat, value) == 8, "doubles are 8-byte aligned in LWValue");
static_assert(sizeof(LWValFloat) == 24, "float value record");
static_assert(sizeof(LWValue) == 40, "LWValue union");
static_assert(offsetof(LWInterfaceInfo, selItems) == 8, "selItems follows curTime");
#if defined(_WIN32)
static_assert(sizeof(unsigned long) == 4, "Windows: unsigned long is 32 bits");
#if defined(_WIN64)
static_assert(sizeof(ModuleDescriptor) == 40, "64-bit descriptor");
static_assert(offsetof(ModuleDescriptor, startup) == 16, "64-bit startup offset");
static_assert(offsetof(ModuleDescriptor, serverDefs) == 32, "64-bit serverDefs offset");
static_assert(sizeof(LWPanControlDesc) >= 48, "64-bit descriptor union");
static_assert(sizeof(LWInterfaceInfo) == 88, "64-bit LWInterfaceInfo");
#else
static_assert(sizeof(ModuleDescriptor) == 24, "32-bit descriptor");
static_assert(offsetof(ModuleDescriptor, startup) == 12, "32-bit startup offset");
static_assert(offsetof(ModuleDescriptor, serverDefs) == 20, "32-bit serverDefs offset");
static_assert(sizeof(LWPanControlDesc) >= 28, "32-bit descriptor union");
static_assert(sizeof(LWInterfaceInfo) == 64, "32-bit LWInterfaceInfo");
#endif
#else
static_assert(offsetof(ModuleDescriptor, startup) == 3 * sizeof(unsigned long),
              "startup follows the three codes");
static_assert(sizeof(LWPanControlDesc) >= 48, "descriptor union at least Layout's size");
#endif
#undef VORRIK_PTR
