// Transport, table-index, forcing and track directives.
#include <gtest/gtest.h>

#include "driver/directives/transport_directives.h"
#include "tests/directives/directive_test_support.h"

TEST(TransportDirectives, AcceptedValuesAtTheLimits) {
  INPUTRUN run = RunLines({"FORCE_WT 0.1", "SIGMA_ERR 0", "ELASTIC_CDF_CUTOFF 1", "ELASTIC_CDF_STEP 0.5",
                           "ION_SEC_E_CDF_INDEXTYPE -4", "SIGMA_E_INDEXEXPONENT 20", "SMOOTH_CDF -1",
                           "DIFFUSION_DIST_TO_RMSPATH_RATIO_THR 10", "NCOLLISIONS_TRACK -0.5", "MAXGEN_TRACKS -1",
                           "CUT_P 10x", "CUT_E 50", "FORCE_MATERIALS 7", "TRACK_K 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  EXPECT_EQ(t.force_wt, 0.1);
  EXPECT_EQ(t.sigmaErr, 0.0);
  EXPECT_EQ(t.elasticCDFCutoff, 1.0);
  EXPECT_EQ(t.ionSecECDF.type, -4);
  EXPECT_EQ(t.sigmaE.exponent, 20);
  EXPECT_EQ(t.smoothCDF_elastic, -1);
  EXPECT_EQ(t.smoothCDF_inelastic, 1);
  EXPECT_EQ(t.diffusion_distToRMSpathRatio_thr, 10.0);
  EXPECT_EQ(t.nCollisionsTrack, 2);
  EXPECT_EQ(t.maxGenTracks, -1);
  EXPECT_EQ(t.cutP, 10.0);
  EXPECT_TRUE(t.cutPGiven);
  EXPECT_EQ(t.cutE, 50.0);
  EXPECT_EQ(t.forceMaterials, 1);
  EXPECT_EQ(t.trackKnockOnElectrons, 0);
  EXPECT_EQ(RunLines({"NCOLLISIONS_TRACK 98"}).code, 0);
  EXPECT_EQ(directives::transportOptions.nCollisionsTrack, 100);
}

TEST(TransportDirectives, ForcingByProcessAndElement) {
  INPUTRUN run = RunLines({"FORCE_EXC29 1", "FORCE_EXC 0", "force_ion_l26 1", "FORCE_ION_K 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(ForcingSwitch(kForceExc, 29), 1);
  EXPECT_EQ(ForcingSwitch(kForceExc, 30), 0);
  EXPECT_EQ(ForcingSwitch(kForceIonL, 26), 1);
  EXPECT_EQ(ForcingSwitch(kForceIonK, 1), 1);
  EXPECT_EQ(directives::transportOptions.forceByZ[kForceIonL][25], -1);
}

TEST(TransportDirectives, RefusalsAndMissingValues) {
  struct CASE {
    std::vector<std::string> lines;
    const char* message;
  };
  const CASE cases[] = {
      {{"FORCE_WT 0"}, "Error: Illegal value \"0\" of the forcing weight (it must be between 0 and 0.1).\n"},
      {{"FORCE_WT"}, "Error: Forcing weight value is missing.\n"},
      {{"CUT_E 10x"}, "Error: Illegal value \"10x\" of the electron low-energy cutoff (it must be a positive number).\n"},
      {{"CUT_P 0"}, "Error: Illegal value \"0\" of the photon low-energy cutoff (it must be a positive number).\n"},
      {{"ELASTIC_CDF_STEP 1"}, "Error: Illegal value \"1\" of the electron elastic scattering angular CDF step size (it must be positive and less than 1).\n"},
      {{"ION_SEC_E_CDF_INDEXTYPE -5"}, "Error: Illegal value \"-5\" of the knock-on electron energy CDF index array type (it must be less than 3 and greater than -5).\n"},
      {{"SIGMA_E_INDEXTYPE -3"}, "Error: Illegal value \"-3\" of the electron cross section energy index array type (it must be less than 3 and greater than -3).\n"},
      {{"ION_E_INDEXEXPONENT 21"}, "Error: Illegal value \"21\" of the impact ionization primary energy index array size exponent (it must be less than 21 and greater than -1).\n"},
      {{"DIFFUSION_DIST_TO_RMSPATH_RATIO_THR 10.5"}, "Error: Illegal value 10.5 of the distance-to-r.m.s.displacement ratio threshold (should be between 2 and 10).\n"},
      {{"COH_THR 0.002"}, "Error: Illegal coherent scattering angular sampling threshold value 0.002 (should be between 0 and 0.001).\n"},
      {{"NCOLLISIONS_TRACK -0.6"}, "Error: Illegal value \"-0.6\" of the maximum number of collisions in a stored particle track.\n"},
      {{"MAXGEN_TRACKS -2"}, "Error: Illegal value \"-2\" of the maximum secondary particle generation number.\n"},
      {{"CHUNKSIZE_TRACKS 9"}, "Error: Illegal value \"9\" of the number of vertices in a track dataset increment (\"chunk\"). It must be from 10 to 1000000.\n"},
      {{"SMOOTH_CDF 2"}, "Error: Illegal value \"2\" of the switch specifying whether the cumulative distribution functions should have the continuous first derivative.\n"},
      {{"TRACKPOS"}, "Error: Particle position tracking option is missing.\n"},
      {{"COH"}, "Error: Coherent scattering simulation switch value is missing.\n"},
      {{"FORCE_EXC101 1"}, "Error in the element number in \"FORCE_EXC101\".\n"},
      {{"FORCE_EXC29"}, "Error: Excitation forcing switch value is missing after \"FORCE_EXC29\".\n"},
      {{"force_ion_m"}, "Error: M shell electroionization switch value is missing after \"force_ion_m\".\n"},
      {{"FORCE_EXC0 1"}, "Error: Invalid number or input directive \"FORCE_EXC0\".\n"},
      {{"FORCE_EXC29 1", "FORCE_EXC29 0"}, "Error: Keyword \"FORCE_EXC29\" is used more than once in the input file.\n"},
      {{"FORCE_EXC 1", "FORCE_EXC 0"}, "Error: Keyword \"FORCE_EXC\" is used more than once in the input file.\n"},
      {{"CUT_E 100", "cut_e 200"}, "Error: Keyword \"CUT_E\" is used more than once in the input file.\n"},
  };
  for (const CASE& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_TRUE(FailsWith(run, c.message)) << c.lines.back() << "\n" << run.console;
  }
}
