// GS registers as records: one bit-field definition per register serves
// both decoding a written value and building one (GsAs / GsBits), with the
// hardware's field names. Private to the GS model and its tests.
#pragma once

#include <bit>
#include <cstdint>

template <class R>
inline R GsAs(uint64_t v) {
  static_assert(sizeof(R) == 8);
  return std::bit_cast<R>(v);
}
template <class R>
inline uint64_t GsBits(const R& r) {
  static_assert(sizeof(R) == 8);
  return std::bit_cast<uint64_t>(r);
}

// ---- general registers ----

struct GsPRIM {
  uint64_t PRIM : 3, IIP : 1, TME : 1, FGE : 1, ABE : 1, AA1 : 1, FST : 1, CTXT : 1, FIX : 1, : 53;
};
struct GsPRMODE {
  uint64_t : 3, IIP : 1, TME : 1, FGE : 1, ABE : 1, AA1 : 1, FST : 1, CTXT : 1, FIX : 1, : 53;
};
struct GsPRMODECONT { uint64_t AC : 1, : 63; };
struct GsRGBAQ { uint64_t R : 8, G : 8, B : 8, A : 8, Q : 32; };  // Q: float bits
struct GsST { uint64_t S : 32, T : 32; };                          // float bits
struct GsUV { uint64_t U : 14, : 2, V : 14, : 34; };               // 10.4 texels
struct GsXYZ { uint64_t X : 16, Y : 16, Z : 32; };                 // X, Y 12.4
struct GsXYZF { uint64_t X : 16, Y : 16, Z : 24, F : 8; };
struct GsFOG { uint64_t : 56, F : 8; };
struct GsTEX0 {
  uint64_t TBP0 : 14, TBW : 6, PSM : 6, TW : 4, TH : 4, TCC : 1, TFX : 2, CBP : 14, CPSM : 4,
      CSM : 1, CSA : 5, CLD : 3;
};
struct GsTEX1 {
  uint64_t LCM : 1, : 1, MXL : 3, MMAG : 1, MMIN : 3, MTBA : 1, : 9, L : 2, : 11, K : 12, : 20;
};
struct GsTEX2 {
  uint64_t : 20, PSM : 6, : 11, CBP : 14, CPSM : 4, CSM : 1, CSA : 5, CLD : 3;
};
struct GsCLAMP {
  uint64_t WMS : 2, WMT : 2, MINU : 10, MAXU : 10, MINV : 10, MAXV : 10, : 20;
};
struct GsXYOFFSET { uint64_t OFX : 16, : 16, OFY : 16, : 16; };
struct GsTEXCLUT { uint64_t CBW : 6, COU : 6, COV : 10, : 42; };
struct GsSCANMSK { uint64_t MSK : 2, : 62; };
struct GsMIPTBP1 { uint64_t TBP1 : 14, TBW1 : 6, TBP2 : 14, TBW2 : 6, TBP3 : 14, TBW3 : 6, : 4; };
struct GsMIPTBP2 { uint64_t TBP4 : 14, TBW4 : 6, TBP5 : 14, TBW5 : 6, TBP6 : 14, TBW6 : 6, : 4; };
struct GsTEXA { uint64_t TA0 : 8, : 7, AEM : 1, : 16, TA1 : 8, : 24; };
struct GsFOGCOL { uint64_t FCR : 8, FCG : 8, FCB : 8, : 40; };
struct GsSCISSOR {
  uint64_t SCAX0 : 11, : 5, SCAX1 : 11, : 5, SCAY0 : 11, : 5, SCAY1 : 11, : 5;
};
struct GsALPHA { uint64_t A : 2, B : 2, C : 2, D : 2, : 24, FIX : 8, : 24; };
struct GsDTHE { uint64_t DTHE : 1, : 63; };
struct GsCOLCLAMP { uint64_t CLAMP : 1, : 63; };
struct GsTEST {
  uint64_t ATE : 1, ATST : 3, AREF : 8, AFAIL : 2, DATE : 1, DATM : 1, ZTE : 1, ZTST : 2, : 45;
};
struct GsPABE { uint64_t PABE : 1, : 63; };
struct GsFBA { uint64_t FBA : 1, : 63; };
struct GsFRAME { uint64_t FBP : 9, : 7, FBW : 6, : 2, PSM : 6, : 2, FBMSK : 32; };
struct GsZBUF { uint64_t ZBP : 9, : 15, PSM : 4, : 4, ZMSK : 1, : 31; };
struct GsBITBLTBUF {
  uint64_t SBP : 14, : 2, SBW : 6, : 2, SPSM : 6, : 2, DBP : 14, : 2, DBW : 6, : 2, DPSM : 6, : 2;
};
struct GsTRXPOS {
  uint64_t SSAX : 11, : 5, SSAY : 11, : 5, DSAX : 11, : 5, DSAY : 11, DIR : 2, : 3;
};
struct GsTRXREG { uint64_t RRW : 12, : 20, RRH : 12, : 20; };
struct GsTRXDIR { uint64_t XDIR : 2, : 62; };
struct GsSIGNAL { uint64_t ID : 32, IDMSK : 32; };
struct GsLABEL { uint64_t ID : 32, IDMSK : 32; };

// ---- privileged registers ----

struct GsPMODE {
  uint64_t EN1 : 1, EN2 : 1, CRTMD : 3, MMOD : 1, AMOD : 1, SLBG : 1, ALP : 8, : 48;
};
struct GsSMODE2 { uint64_t INT : 1, FFMD : 1, DPMS : 2, : 60; };
struct GsDISPFB { uint64_t FBP : 9, FBW : 6, PSM : 5, : 12, DBX : 11, DBY : 11, : 10; };
struct GsDISPLAY { uint64_t DX : 12, DY : 11, MAGH : 4, MAGV : 2, : 3, DW : 12, DH : 11, : 9; };
struct GsBGCOLOR { uint64_t R : 8, G : 8, B : 8, : 40; };
struct GsCSR {
  uint64_t SIGNAL : 1, FINISH : 1, HSINT : 1, VSINT : 1, EDWINT : 1, : 3, FLUSH : 1, RESET : 1,
      : 2, NFIELD : 1, FIELD : 1, FIFO : 2, REV : 8, ID : 8, : 32;
};
struct GsIMR { uint64_t : 8, SIGMSK : 1, FINISHMSK : 1, HSMSK : 1, VSMSK : 1, EDWMSK : 1, : 51; };
struct GsSIGLBLID { uint64_t SIGID : 32, LBLID : 32; };

// Stated layouts: each record is one 64-bit register.
static_assert(sizeof(GsTEX0) == 8 && sizeof(GsFRAME) == 8 && sizeof(GsTRXPOS) == 8 &&
              sizeof(GsCSR) == 8 && sizeof(GsDISPLAY) == 8 && sizeof(GsTEX1) == 8);
