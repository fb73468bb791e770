#include "language/adaptive_integration.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/floating_point.h"

namespace {

// ---------------------------------------------------------------- tables

// Gauss-Kronrod nodes and weights, largest node first, the centre last:
// the published 33-digit values (Kronrod extensions of the 10- and 7-point
// Gauss-Legendre rules).
constexpr double kXgk21[11] = {
    0.995657163025808080735527280689003, 0.973906528517171720077964012084452, 0.930157491355708226001207180059508,
    0.865063366688984510732096688423493, 0.780817726586416897063717578345042, 0.679409568299024406234327365114874,
    0.562757134668604683339000099272694, 0.433395394129247190799265943165784, 0.294392862701460198131126603103866,
    0.148874338981631210884826001129720, 0.000000000000000000000000000000000};
constexpr double kWgk21[11] = {
    0.011694638867371874278064396062192, 0.032558162307964727478818972459390, 0.054755896574351996031381300244580,
    0.075039674810919952767043140916190, 0.093125454583697605535065465083366, 0.109387158802297641899210590325805,
    0.123491976262065851077958109831074, 0.134709217311473325928054001771707, 0.142775938577060080797094273138717,
    0.147739104901338491374841515972068, 0.149445554002916905664936468389821};
// Weights of the 10-point Gauss rule at kXgk21[1], [3], [5], [7], [9].
constexpr double kWg10[5] = {0.066671344308688137593568809893332, 0.149451349150580593145776339657697,
                             0.219086362515982043995534934228163, 0.269266719309996355091226921569469,
                             0.295524224714752870173892994651338};

constexpr double kXgk15[8] = {0.991455371120812639206854697526329, 0.949107912342758524526189684047851,
                              0.864864423359769072789712788640926, 0.741531185599394439863864773280788,
                              0.586087235467691130294144838258730, 0.405845151377397166906606412076961,
                              0.207784955007898467600689403773245, 0.000000000000000000000000000000000};
constexpr double kWgk15[8] = {0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
                              0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
                              0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
                              0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
// Weights of the 7-point Gauss rule at the odd places of kXgk15 (zero at the
// places of the Kronrod nodes).
constexpr double kWg7[8] = {0.0, 0.129484966168869693270611432679082, 0.0, 0.279705391489276667901467771423780,
                            0.0, 0.381830050505118944950369775488975, 0.0, 0.417959183673469387755102040816327};

// The 15-point table of the weighted rule, as published to 16 digits.
constexpr double kXgk15w[8] = {0.9914553711208126, 0.9491079123427585, 0.8648644233597691, 0.7415311855993944,
                               0.5860872354676911, 0.4058451513773972, 0.2077849550078985, 0.0};
constexpr double kWgk15w[8] = {0.02293532201052922, 0.06309209262997855, 0.1047900103222502, 0.1406532597155259,
                               0.1690047266392679,  0.1903505780647854,  0.2044329400752989, 0.2094821410847278};
constexpr double kWg7w[4] = {0.1294849661688697, 0.2797053914892767, 0.3818300505051889, 0.4179591836734694};

// cos(k pi / 24), k = 1..11: the abscissae of the 25-point Clenshaw-Curtis rule.
constexpr double kClenshawCurtisCosines[11] = {0.9914448613738104, 0.9659258262890683, 0.9238795325112868,
                                               0.8660254037844386, 0.7933533402912352, 0.7071067811865475,
                                               0.6087614290087206, 0.5000000000000000, 0.3826834323650898,
                                               0.2588190451025208, 0.1305261922200516};

constexpr int kLimexp = 50;  // the most elements of the extrapolation table
constexpr int kEpsilonTableSize = kLimexp + 2;
constexpr int kMoments = 25;  // Chebyshev moments per subdivision level

// The error estimate of a Gauss-Kronrod rule from |resk - resg|, scaled as
// the package does: resasc min(1, (200 abserr / resasc)^1.5), never below
// 50 epmach resabs.
double ScaledError(double abserr, double resabs, double resasc) {
  const double epmach = d1mach(4);
  const double uflow = d1mach(1);
  if (resasc != 0.0 && abserr != 0.0) abserr = resasc * std::min(1.0, std::pow(200.0 * abserr / resasc, 1.5));
  if (resabs > uflow / (50.0 * epmach)) abserr = std::max(epmach * 50.0 * resabs, abserr);
  return abserr;
}

// True when the integration must stop: an invalid operation, or a value that
// is not a number (which the checked integrand marks as one).
bool IntegrationInvalid() { return InvalidOperationRaised(); }

// The integrand as the drivers hand it to the integrators: a value that is
// not a number, or an invalid operation while computing it, raises the
// invalid flag, and from then on the integrand is not evaluated again (its
// value is taken as 0 until the integrator sees the flag and stops).
class CheckedIntegrand {
 public:
  explicit CheckedIntegrand(FUNCTIONREF f) : f_(f) {}
  double operator()(double x) {
    if (stopped_) return 0.0;
    double value = f_(x);
    if (std::isnan(value)) RaiseInvalidOperation();
    if (InvalidOperationRaised()) {
      stopped_ = true;
      return 0.0;
    }
    return value;
  }

 private:
  FUNCTIONREF f_;
  bool stopped_ = false;
};

// ---------------------------------------------------------------- the adaptive scheme

// The state of the extrapolation by the epsilon algorithm: the table of
// areas, the last three results and the counters of the published scheme.
struct EXTRAPOLATION {
  double rlist2[kEpsilonTableSize] = {};
  double res3la[3] = {};
  int numrl2 = 0;  // elements in rlist2
  int nres = 0;    // calls of dqelg
};

// The end of an integration that left its main loop on an error code or an
// extrapolated result: the extrapolated result is kept unless the sum over
// the subintervals is better, then the divergence test. Returns false when
// the sum over the subintervals is to be taken.
bool KeepExtrapolated(int* ier, int ierro, int ksgn, double defabs, double errsum, double area, double correc,
                      bool divergenceOnEqual, double* result, double* abserr) {
  bool test = true;
  if (*ier + ierro != 0) {
    if (ierro == 3) *abserr += correc;
    if (*ier == 0) *ier = 3;
    if (*result != 0.0 && area != 0.0) {
      if (*abserr / std::fabs(*result) > errsum / std::fabs(area)) return false;
    } else {
      if (*abserr > errsum) return false;
      if (area == 0.0) test = false;
    }
  }
  if (test && !(ksgn == -1 && std::max(std::fabs(*result), std::fabs(area)) <= defabs * 0.01)) {
    double ratio = *result / area;
    bool tooLarge = divergenceOnEqual ? errsum >= std::fabs(area) : errsum > std::fabs(area);
    if (0.01 > ratio || ratio > 100.0 || tooLarge) *ier = 6;
  }
  return true;
}

// Globally adaptive bisection with extrapolation over [a, b], one rule for
// every piece (dqagse and dqagie). Rule: (a, b, result, abserr, resabs, resasc).
template <typename Rule>
void AdaptiveWithExtrapolation(Rule&& rule, double a, double b, double epsabs, double epsrel, int limit, double* result,
                               double* abserr, int* ier, double* alist, double* blist, double* rlist, double* elist,
                               int* iord, int* last) {
  const double epmach = d1mach(4);
  *ier = 0;
  *last = 0;
  *result = 0.0;
  *abserr = 0.0;
  alist[0] = a;
  blist[0] = b;
  rlist[0] = 0.0;
  elist[0] = 0.0;
  if (epsabs <= 0.0 && epsrel < std::max(50.0 * epmach, 0.5e-28)) {
    *ier = 6;
    return;
  }
  const double uflow = d1mach(1);
  const double oflow = d1mach(2);

  // First approximation to the integral.
  double defabs, resabs;
  rule(a, b, result, abserr, &defabs, &resabs);
  *last = 1;
  if (IntegrationInvalid()) {
    *ier = kIerInvalidOperation;
    return;
  }
  double dres = std::fabs(*result);
  double errbnd = std::max(epsabs, epsrel * dres);
  rlist[0] = *result;
  elist[0] = *abserr;
  iord[0] = 0;
  if (*abserr <= 100.0 * epmach * defabs && *abserr > errbnd) *ier = 2;
  if (limit == 1) *ier = 1;
  if (*ier != 0 || (*abserr <= errbnd && *abserr != resabs) || *abserr == 0.0) return;

  // Initialization.
  EXTRAPOLATION table;
  table.rlist2[0] = *result;
  table.numrl2 = 2;
  double errmax = *abserr;
  int maxerr = 0;
  double area = *result;
  double errsum = *abserr;
  *abserr = oflow;
  int nrmax = 0;
  int ktmin = 0;
  bool extrap = false;
  bool noext = false;
  int ierro = 0;
  int iroff1 = 0, iroff2 = 0, iroff3 = 0;
  int ksgn = dres >= (1.0 - 50.0 * epmach) * defabs ? 1 : -1;
  double small = 0.0, erlarg = 0.0, ertest = 0.0, correc = 0.0;

  // Main loop: bisect the subinterval with the nrmax-th largest error estimate.
  bool sumOfPieces = false;
  for (*last = 2; *last <= limit; ++*last) {
    const int n = *last;  // the new piece is n - 1
    double a1 = alist[maxerr];
    double b1 = 0.5 * (alist[maxerr] + blist[maxerr]);
    double a2 = b1;
    double b2 = blist[maxerr];
    double erlast = errmax;
    double area1, error1, area2, error2, defab1, defab2;
    rule(a1, b1, &area1, &error1, &resabs, &defab1);
    rule(a2, b2, &area2, &error2, &resabs, &defab2);
    if (IntegrationInvalid()) {
      *ier = kIerInvalidOperation;
      return;
    }

    // Improve the approximations of the integral and of the error; count roundoff.
    double area12 = area1 + area2;
    double erro12 = error1 + error2;
    errsum = errsum + erro12 - errmax;
    area = area + area12 - rlist[maxerr];
    if (defab1 != error1 && defab2 != error2) {
      if (std::fabs(rlist[maxerr] - area12) <= 1.0e-5 * std::fabs(area12) && erro12 >= 0.99 * errmax) {
        if (extrap) {
          ++iroff2;
        } else {
          ++iroff1;
        }
      }
      if (n > 10 && erro12 > errmax) ++iroff3;
    }
    rlist[maxerr] = area1;
    rlist[n - 1] = area2;
    errbnd = std::max(epsabs, epsrel * std::fabs(area));

    // Roundoff, the subdivision limit, a point of bad behaviour.
    if (iroff1 + iroff2 >= 10 || iroff3 >= 20) *ier = 2;
    if (iroff2 >= 5) ierro = 3;
    if (n == limit) *ier = 1;
    if (std::max(std::fabs(a1), std::fabs(b2)) <= (1.0 + 100.0 * epmach) * (std::fabs(a2) + 1000.0 * uflow)) *ier = 4;

    // Append the new pieces, the one with the larger error in the old place.
    if (error2 > error1) {
      alist[maxerr] = a2;
      alist[n - 1] = a1;
      blist[n - 1] = b1;
      rlist[maxerr] = area2;
      rlist[n - 1] = area1;
      elist[maxerr] = error2;
      elist[n - 1] = error1;
    } else {
      alist[n - 1] = a2;
      blist[maxerr] = b1;
      blist[n - 1] = b2;
      elist[maxerr] = error1;
      elist[n - 1] = error2;
    }
    dqpsrt(limit, n, &maxerr, &errmax, elist, iord, &nrmax);
    if (errsum <= errbnd) {
      sumOfPieces = true;
      break;
    }
    if (*ier != 0) break;
    if (n == 2) {
      small = std::fabs(b - a) * 0.375;
      erlarg = errsum;
      ertest = errbnd;
      table.rlist2[1] = area;
      continue;
    }
    if (noext) continue;
    erlarg -= erlast;
    if (std::fabs(b1 - a1) > small) erlarg += erro12;
    if (!extrap) {
      // Extrapolate only when the piece to bisect next is the smallest.
      if (std::fabs(blist[maxerr] - alist[maxerr]) > small) continue;
      extrap = true;
      nrmax = 1;
    }

    // The smallest piece has the largest error: first bisect the larger
    // pieces whose errors still count (erlarg), then extrapolate.
    if (ierro != 3 && erlarg > ertest) {
      int jupbnd = n > 2 + limit / 2 ? limit + 3 - n : n;
      bool largerPieceLeft = false;
      for (int k = nrmax; k < jupbnd; ++k) {
        maxerr = iord[nrmax];
        errmax = elist[maxerr];
        if (std::fabs(blist[maxerr] - alist[maxerr]) > small) {
          largerPieceLeft = true;
          break;
        }
        ++nrmax;
      }
      if (largerPieceLeft) continue;
    }

    // Extrapolation.
    table.rlist2[table.numrl2++] = area;
    double reseps, abseps;
    dqelg(&table.numrl2, table.rlist2, &reseps, &abseps, table.res3la, &table.nres);
    ++ktmin;
    if (ktmin > 5 && *abserr < 1.0e-3 * errsum) *ier = 5;
    if (abseps < *abserr) {
      ktmin = 0;
      *abserr = abseps;
      *result = reseps;
      correc = erlarg;
      ertest = std::max(epsabs, epsrel * std::fabs(reseps));
      if (*abserr <= ertest) break;
    }
    if (table.numrl2 == 1) noext = true;
    if (*ier == 5) break;

    // Go on with the largest error, bisecting the smallest pieces next.
    maxerr = iord[0];
    errmax = elist[maxerr];
    nrmax = 0;
    extrap = false;
    small *= 0.5;
    erlarg = errsum;
  }
  if (*last > limit) *last = limit;

  // The final result.
  if (!sumOfPieces) {
    sumOfPieces =
        *abserr == oflow || !KeepExtrapolated(ier, ierro, ksgn, defabs, errsum, area, correc, false, result, abserr);
  }
  if (sumOfPieces) {
    *result = 0.0;
    for (int k = 0; k < *last; ++k) *result += rlist[k];
    *abserr = errsum;
  }
  if (*ier > 2) --*ier;
}

// The value of cos(m pi / 24) for any integer m, from the published cosines.
double CosineOfMultiple(int m) {
  m %= 48;
  if (m < 0) m += 48;
  if (m > 24) m = 48 - m;  // cos is even about 0 and 2 pi
  if (m == 0) return 1.0;
  if (m == 12) return 0.0;
  if (m == 24) return -1.0;
  if (m < 12) return kClenshawCurtisCosines[m - 1];
  return -kClenshawCurtisCosines[24 - m - 1];  // cos(pi - t) = -cos(t)
}

// The modified Chebyshev moments of level m (chebmo row, 25 values): the
// integrals over [-1, 1] of T_k(x) cos(p x) for even k (row entries 0, 2,
// ..., 24) and of T_k(x) sin(p x) for odd k (entries 1, 3, ..., 23), p the
// half-length times omega. For |p| <= 24 each set solves a boundary-value
// problem of the moments' three-term recurrence, with the first moments as
// initial values and an asymptotic formula as end value; above, forward
// recursion is stable (Piessens and Branders).
void ComputeChebyshevMoments(double parint, double* moments) {
  double v[29] = {};  // 1-based: v[1..28]
  double d[26] = {}, d1[26] = {}, d2[26] = {};
  const int noequ = 25;
  const int noeq1 = noequ - 1;
  const double par2 = parint * parint;
  const double par22 = par2 + 2.0;
  const double sinpar = std::sin(parint);
  const double cospar = std::cos(parint);
  int info = 0;

  // Moments with respect to the cosine.
  v[1] = 2.0 * sinpar / parint;
  v[2] = (8.0 * cospar + (par2 + par2 - 8.0) * sinpar / parint) / par2;
  v[3] = (32.0 * (par2 - 12.0) * cospar + (2.0 * ((par2 - 80.0) * par2 + 192.0) * sinpar) / parint) / (par2 * par2);
  double ac = 8.0 * cospar;
  double as = 24.0 * parint * sinpar;
  if (std::fabs(parint) <= 24.0) {
    double an = 6.0;
    for (int k = 1; k <= noeq1; ++k) {
      double an2 = an * an;
      d[k] = -2.0 * (an2 - 4.0) * (par22 - an2 - an2);
      d2[k] = (an - 1.0) * (an - 2.0) * par2;
      d1[k + 1] = (an + 3.0) * (an + 4.0) * par2;
      v[k + 3] = as - (an2 - 4.0) * ac;
      an += 2.0;
    }
    double an2 = an * an;
    d[noequ] = -2.0 * (an2 - 4.0) * (par22 - an2 - an2);
    v[noequ + 3] = as - (an2 - 4.0) * ac;
    v[4] -= 56.0 * par2 * v[3];
    double ass = parint * sinpar;
    double asap = (((((210.0 * par2 - 1.0) * cospar - (105.0 * par2 - 63.0) * ass) / an2 -
                     (1.0 - 15.0 * par2) * cospar + 15.0 * ass) /
                        an2 -
                    cospar + 3.0 * ass) /
                       an2 -
                   cospar) /
                  an2;
    v[noequ + 3] -= 2.0 * asap * par2 * (an - 1.0) * (an - 2.0);
    dgtsl(noequ, d1 + 1, d + 1, d2 + 1, v + 4, &info);
  } else {
    double an = 4.0;
    for (int i = 4; i <= 13; ++i) {
      double an2 = an * an;
      v[i] =
          ((an2 - 4.0) * (2.0 * (par22 - an2 - an2) * v[i - 1] - ac) + as - par2 * (an + 1.0) * (an + 2.0) * v[i - 2]) /
          (par2 * (an - 1.0) * (an - 2.0));
      an += 2.0;
    }
  }
  for (int j = 1; j <= 13; ++j) moments[2 * j - 2] = v[j];

  // Moments with respect to the sine.
  v[1] = 2.0 * (sinpar - parint * cospar) / par2;
  v[2] = (18.0 - 48.0 / par2) * sinpar / par2 + (-2.0 + 48.0 / par2) * cospar / parint;
  ac = -24.0 * parint * cospar;
  as = -8.0 * sinpar;
  if (std::fabs(parint) <= 24.0) {
    double an = 5.0;
    for (int k = 1; k <= noeq1; ++k) {
      double an2 = an * an;
      d[k] = -2.0 * (an2 - 4.0) * (par22 - an2 - an2);
      d2[k] = (an - 1.0) * (an - 2.0) * par2;
      d1[k + 1] = (an + 3.0) * (an + 4.0) * par2;
      v[k + 2] = ac + (an2 - 4.0) * as;
      an += 2.0;
    }
    double an2 = an * an;
    d[noequ] = -2.0 * (an2 - 4.0) * (par22 - an2 - an2);
    v[noequ + 2] = ac + (an2 - 4.0) * as;
    v[3] -= 42.0 * par2 * v[2];
    double ass = parint * cospar;
    double asap = (((((105.0 * par2 - 63.0) * ass + (210.0 * par2 - 1.0) * sinpar) / an2 +
                     (15.0 * par2 - 1.0) * sinpar - 15.0 * ass) /
                        an2 -
                    3.0 * ass - sinpar) /
                       an2 -
                   sinpar) /
                  an2;
    v[noequ + 2] -= 2.0 * asap * par2 * (an - 1.0) * (an - 2.0);
    dgtsl(noequ, d1 + 1, d + 1, d2 + 1, v + 3, &info);
  } else {
    double an = 3.0;
    for (int i = 3; i <= 12; ++i) {
      double an2 = an * an;
      v[i] =
          ((an2 - 4.0) * (2.0 * (par22 - an2 - an2) * v[i - 1] + as) + ac - par2 * (an + 1.0) * (an + 2.0) * v[i - 2]) /
          (par2 * (an - 1.0) * (an - 2.0));
      an += 2.0;
    }
  }
  for (int j = 1; j <= 12; ++j) moments[2 * j - 1] = v[j];
}

}  // namespace

// ---------------------------------------------------------------- machine constants

double d1mach(int i) {
  switch (i) {
    case 1:
      return std::bit_cast<double>(uint64_t{0x0010000000000000});
    case 2:
      return std::bit_cast<double>(uint64_t{0x7FEFFFFFFFFFFFFF});
    case 3:
      return std::bit_cast<double>(uint64_t{0x3CA0000000000000});
    case 4:
      return std::bit_cast<double>(uint64_t{0x3CB0000000000000});
    case 5:
      return std::bit_cast<double>(uint64_t{0x3FD34413509F79FF});
    default:
      return 0.0;
  }
}

// ---------------------------------------------------------------- rules

void dqk21(FUNCTIONREF f, double a, double b, double* result, double* abserr, double* resabs, double* resasc) {
  double centr = 0.5 * (a + b);
  double hlgth = 0.5 * (b - a);
  double dhlgth = std::fabs(hlgth);
  double fv1[10], fv2[10];

  // The 21-point Kronrod sum and the 10-point Gauss sum over the same values.
  double resg = 0.0;
  double fc = f(centr);
  double resk = kWgk21[10] * fc;
  *resabs = std::fabs(resk);
  for (int j = 0; j < 5; ++j) {  // Gauss nodes: Kronrod places 1, 3, 5, 7, 9
    int jtw = 2 * j + 1;
    double absc = hlgth * kXgk21[jtw];
    double fval1 = f(centr - absc);
    double fval2 = f(centr + absc);
    fv1[jtw] = fval1;
    fv2[jtw] = fval2;
    double fsum = fval1 + fval2;
    resg += kWg10[j] * fsum;
    resk += kWgk21[jtw] * fsum;
    *resabs += kWgk21[jtw] * (std::fabs(fval1) + std::fabs(fval2));
  }
  for (int j = 0; j < 5; ++j) {  // Kronrod nodes: places 0, 2, 4, 6, 8
    int jtwm1 = 2 * j;
    double absc = hlgth * kXgk21[jtwm1];
    double fval1 = f(centr - absc);
    double fval2 = f(centr + absc);
    fv1[jtwm1] = fval1;
    fv2[jtwm1] = fval2;
    double fsum = fval1 + fval2;
    resk += kWgk21[jtwm1] * fsum;
    *resabs += kWgk21[jtwm1] * (std::fabs(fval1) + std::fabs(fval2));
  }

  // The error estimate.
  double reskh = resk * 0.5;
  *resasc = kWgk21[10] * std::fabs(fc - reskh);
  for (int j = 0; j < 10; ++j) *resasc += kWgk21[j] * (std::fabs(fv1[j] - reskh) + std::fabs(fv2[j] - reskh));
  *result = resk * hlgth;
  *resabs *= dhlgth;
  *resasc *= dhlgth;
  *abserr = ScaledError(std::fabs((resk - resg) * hlgth), *resabs, *resasc);
}

void dqk15i(FUNCTIONREF f, double boun, int inf, double a, double b, double* result, double* abserr, double* resabs,
            double* resasc) {
  double dinf = std::min(1, inf);
  double centr = 0.5 * (a + b);
  double hlgth = 0.5 * (b - a);
  // The integrand on (0, 1]: f(x(t)) / t^2 with x = boun + dinf (1 - t) / t,
  // plus f(-x(t)) / t^2 over the whole line.
  auto transformed = [&](double t) {
    double x = boun + dinf * (1.0 - t) / t;
    double value = f(x);
    if (inf == 2) value += f(-x);
    return (value / t) / t;
  };
  double fv1[7], fv2[7];
  double fc = transformed(centr);
  double resg = kWg7[7] * fc;
  double resk = kWgk15[7] * fc;
  *resabs = std::fabs(resk);
  for (int j = 0; j < 7; ++j) {
    double absc = hlgth * kXgk15[j];
    double fval1 = transformed(centr - absc);
    double fval2 = transformed(centr + absc);
    fv1[j] = fval1;
    fv2[j] = fval2;
    double fsum = fval1 + fval2;
    resg += kWg7[j] * fsum;
    resk += kWgk15[j] * fsum;
    *resabs += kWgk15[j] * (std::fabs(fval1) + std::fabs(fval2));
  }
  double reskh = resk * 0.5;
  *resasc = kWgk15[7] * std::fabs(fc - reskh);
  for (int j = 0; j < 7; ++j) *resasc += kWgk15[j] * (std::fabs(fv1[j] - reskh) + std::fabs(fv2[j] - reskh));
  *result = resk * hlgth;
  *resasc *= hlgth;
  *resabs *= hlgth;
  *abserr = ScaledError(std::fabs((resk - resg) * hlgth), *resabs, *resasc);
}

void dqk15w(FUNCTIONREF f, double omega, int integr, double a, double b, double* result, double* abserr, double* resabs,
            double* resasc) {
  auto weighted = [&](double x) { return f(x) * (integr == 1 ? std::cos(omega * x) : std::sin(omega * x)); };
  double centr = 0.5 * (a + b);
  double hlgth = 0.5 * (b - a);
  double dhlgth = std::fabs(hlgth);
  double fv1[7], fv2[7];
  double fc = weighted(centr);
  double resg = kWg7w[3] * fc;
  double resk = kWgk15w[7] * fc;
  *resabs = std::fabs(resk);
  for (int j = 0; j < 3; ++j) {  // Gauss nodes: places 1, 3, 5
    int jtw = 2 * j + 1;
    double absc = hlgth * kXgk15w[jtw];
    double fval1 = weighted(centr - absc);
    double fval2 = weighted(centr + absc);
    fv1[jtw] = fval1;
    fv2[jtw] = fval2;
    double fsum = fval1 + fval2;
    resg += kWg7w[j] * fsum;
    resk += kWgk15w[jtw] * fsum;
    *resabs += kWgk15w[jtw] * (std::fabs(fval1) + std::fabs(fval2));
  }
  for (int j = 0; j < 4; ++j) {  // Kronrod nodes: places 0, 2, 4, 6
    int jtwm1 = 2 * j;
    double absc = hlgth * kXgk15w[jtwm1];
    double fval1 = weighted(centr - absc);
    double fval2 = weighted(centr + absc);
    fv1[jtwm1] = fval1;
    fv2[jtwm1] = fval2;
    double fsum = fval1 + fval2;
    resk += kWgk15w[jtwm1] * fsum;
    *resabs += kWgk15w[jtwm1] * (std::fabs(fval1) + std::fabs(fval2));
  }
  double reskh = resk * 0.5;
  *resasc = kWgk15w[7] * std::fabs(fc - reskh);
  for (int j = 0; j < 7; ++j) *resasc += kWgk15w[j] * (std::fabs(fv1[j] - reskh) + std::fabs(fv2[j] - reskh));
  *result = resk * hlgth;
  *resabs *= dhlgth;
  *resasc *= dhlgth;
  *abserr = ScaledError(std::fabs((resk - resg) * hlgth), *resabs, *resasc);
}

void dqcheb(const double* x, const double* fval, double* cheb12, double* cheb24) {
  (void)x;  // the cosines come from the same published table
  // c_k = (2/N) sum_j fval_j cos(k j pi / N) over the Lobatto points (the end
  // values arrive halved); the first and last coefficients are halved too,
  // so that the series is a plain sum of c_k T_k.
  for (int k = 0; k <= 24; ++k) {
    double sum = 0.0;
    for (int j = 0; j <= 24; ++j) sum += fval[j] * CosineOfMultiple(k * j);
    cheb24[k] = sum / 12.0;
  }
  cheb24[0] *= 0.5;
  cheb24[24] *= 0.5;
  for (int k = 0; k <= 12; ++k) {
    double sum = 0.0;
    for (int i = 0; i <= 12; ++i) sum += fval[2 * i] * CosineOfMultiple(2 * k * i);
    cheb12[k] = sum / 6.0;
  }
  cheb12[0] *= 0.5;
  cheb12[12] *= 0.5;
}

void dqc25f(FUNCTIONREF f, double a, double b, double omega, int integr, int nrmom, int maxp1, int ksave,
            double* result, double* abserr, int* neval, double* resabs, double* resasc, int* momcom, double* chebmo) {
  const double oflow = d1mach(2);
  double centr = 0.5 * (b + a);
  double hlgth = 0.5 * (b - a);
  double parint = omega * hlgth;

  // A short piece: the 15-point Gauss-Kronrod rule with the weight.
  if (std::fabs(parint) <= 2.0) {
    dqk15w(f, omega, integr, a, b, result, abserr, resabs, resasc);
    *neval = 15;
    return;
  }

  // The generalized Clenshaw-Curtis method.
  double conc = hlgth * std::cos(centr * omega);
  double cons = hlgth * std::sin(centr * omega);
  *resasc = oflow;
  *neval = 25;

  // The moments of this level: kept from before, just computed for the other
  // half of the bisection (ksave 1), or computed now.
  int m;
  if (nrmom < *momcom) {
    m = nrmom + 1;
  } else {
    m = *momcom + 1;
    if (ksave != 1) {
      ComputeChebyshevMoments(parint, chebmo + kMoments * (m - 1));
      if (*momcom < maxp1 - 1) ++*momcom;
    }
  }
  const double* moments = chebmo + kMoments * (m - 1);

  // The Chebyshev series of degrees 12 and 24 of f on the piece.
  double fval[25];
  fval[0] = 0.5 * f(centr + hlgth);
  fval[12] = f(centr);
  fval[24] = 0.5 * f(centr - hlgth);
  for (int i = 1; i <= 11; ++i) {
    double offset = hlgth * kClenshawCurtisCosines[i - 1];
    fval[i] = f(centr + offset);
    fval[24 - i] = f(centr - offset);
  }
  double cheb12[13], cheb24[25];
  dqcheb(kClenshawCurtisCosines, fval, cheb12, cheb24);

  // The integral and the error from the difference of the two degrees.
  double resc12 = cheb12[12] * moments[12];
  double ress12 = 0.0;
  for (int k = 10; k >= 0; k -= 2) {
    resc12 += cheb12[k] * moments[k];
    ress12 += cheb12[k + 1] * moments[k + 1];
  }
  double resc24 = cheb24[24] * moments[24];
  double ress24 = 0.0;
  *resabs = std::fabs(cheb24[24]);
  for (int k = 22; k >= 0; k -= 2) {
    resc24 += cheb24[k] * moments[k];
    ress24 += cheb24[k + 1] * moments[k + 1];
    *resabs += std::fabs(cheb24[k]) + std::fabs(cheb24[k + 1]);
  }
  double estc = std::fabs(resc24 - resc12);
  double ests = std::fabs(ress24 - ress12);
  *resabs *= std::fabs(hlgth);
  if (integr == 2) {
    *result = conc * ress24 + cons * resc24;
    *abserr = std::fabs(conc * ests) + std::fabs(cons * estc);
  } else {
    *result = conc * resc24 - cons * ress24;
    *abserr = std::fabs(conc * estc) + std::fabs(cons * ests);
  }
}

// ---------------------------------------------------------------- extrapolation and ordering

void dqelg(int* n, double* epstab, double* result, double* abserr, double* res3la, int* nres) {
  // The table is 1-based in the published description: E(i) = epstab[i - 1].
  auto E = [epstab](int i) -> double& { return epstab[i - 1]; };
  auto R = [res3la](int i) -> double& { return res3la[i - 1]; };
  const double epmach = d1mach(4);
  const double oflow = d1mach(2);
  ++*nres;
  *abserr = oflow;
  *result = E(*n);
  if (*n < 3) {
    *abserr = std::max(*abserr, 5.0 * epmach * std::fabs(*result));
    return;
  }
  E(*n + 2) = E(*n);
  int newelm = (*n - 1) / 2;
  E(*n) = oflow;
  int num = *n;
  int k1 = *n;
  for (int i = 1; i <= newelm; ++i) {
    int k2 = k1 - 1;
    int k3 = k1 - 2;
    double res = E(k1 + 2);
    double e0 = E(k3);
    double e1 = E(k2);
    double e2 = res;
    double e1abs = std::fabs(e1);
    double delta2 = e2 - e1;
    double err2 = std::fabs(delta2);
    double tol2 = std::max(std::fabs(e2), e1abs) * epmach;
    double delta3 = e1 - e0;
    double err3 = std::fabs(delta3);
    double tol3 = std::max(e1abs, std::fabs(e0)) * epmach;
    if (err2 <= tol2 && err3 <= tol3) {
      // e0, e1 and e2 agree to machine accuracy: convergence.
      *result = res;
      *abserr = err2 + err3;
      *abserr = std::max(*abserr, 5.0 * epmach * std::fabs(*result));
      return;
    }
    double e3 = E(k1);
    E(k1) = e1;
    double delta1 = e1 - e3;
    double err1 = std::fabs(delta1);
    double tol1 = std::max(e1abs, std::fabs(e3)) * epmach;
    // Two close elements, or irregular behaviour: cut the table here.
    bool cut = err1 <= tol1 || err2 <= tol2 || err3 <= tol3;
    double ss = 0.0;
    if (!cut) {
      ss = 1.0 / delta1 + 1.0 / delta2 - 1.0 / delta3;
      cut = std::fabs(ss * e1) <= 1.0e-4;
    }
    if (cut) {
      *n = i + i - 1;
      break;
    }
    // A new element; keep it when its error is the smallest so far.
    res = e1 + 1.0 / ss;
    E(k1) = res;
    k1 -= 2;
    double error = err2 + std::fabs(res - e2) + err3;
    if (error <= *abserr) {
      *abserr = error;
      *result = res;
    }
  }

  // Shift the table.
  if (*n == kLimexp) *n = 2 * (kLimexp / 2) - 1;
  int ib = num % 2 == 0 ? 2 : 1;
  int ie = newelm + 1;
  for (int i = 1; i <= ie; ++i) {
    int ib2 = ib + 2;
    E(ib) = E(ib2);
    ib = ib2;
  }
  if (num != *n) {
    int indx = num - *n + 1;
    for (int i = 1; i <= *n; ++i) {
      E(i) = E(indx);
      ++indx;
    }
  }
  if (*nres < 4) {
    R(*nres) = *result;
    *abserr = oflow;
  } else {
    // The error estimate from the last three results.
    *abserr = std::fabs(*result - R(3)) + std::fabs(*result - R(2)) + std::fabs(*result - R(1));
    R(1) = R(2);
    R(2) = R(3);
    R(3) = *result;
  }
  *abserr = std::max(*abserr, 5.0 * epmach * std::fabs(*result));
}

void dqpsrt(int limit, int last, int* maxerr, double* ermax, const double* elist, int* iord, int* nrmax) {
  if (last <= 2) {
    iord[0] = 0;
    iord[1] = 1;
  } else {
    // After a difficult bisection the error may have grown: move the
    // interval up from nrmax while it beats its predecessor.
    double errmax = elist[*maxerr];
    int ido = *nrmax;
    for (int i = 0; i < ido; ++i) {
      int isucc = iord[*nrmax - 1];
      if (errmax <= elist[isucc]) break;
      iord[*nrmax] = isucc;
      --*nrmax;
    }

    // Only as many places are kept in order as subdivisions remain.
    int jupbn = last > limit / 2 + 2 ? limit + 3 - last : last;  // count of ordered places
    double errmin = elist[last - 1];
    int jbnd = jupbn - 2;  // 0-based place before the last ordered one
    int ibeg = *nrmax + 1;
    int i = ibeg;
    bool placed = false;
    for (; i <= jbnd; ++i) {  // errmax top-down
      int isucc = iord[i];
      if (errmax >= elist[isucc]) {
        placed = true;
        break;
      }
      iord[i - 1] = isucc;
    }
    if (!placed) {
      iord[jbnd] = *maxerr;
      iord[jupbn - 1] = last - 1;
    } else {
      iord[i - 1] = *maxerr;  // then errmin bottom-up
      int k = jbnd;
      bool inserted = false;
      for (int j = i; j <= jbnd; ++j) {
        int isucc = iord[k];
        if (errmin < elist[isucc]) {
          iord[k + 1] = last - 1;
          inserted = true;
          break;
        }
        iord[k + 1] = isucc;
        --k;
      }
      if (!inserted) iord[i] = last - 1;
    }
  }
  *maxerr = iord[*nrmax];
  *ermax = elist[*maxerr];
}

void dgtsl(int n, double* c, double* d, double* e, double* b, int* info) {
  // 1-based in the published description: C(k) = c[k - 1], ...
  auto C = [c](int k) -> double& { return c[k - 1]; };
  auto D = [d](int k) -> double& { return d[k - 1]; };
  auto En = [e](int k) -> double& { return e[k - 1]; };
  auto B = [b](int k) -> double& { return b[k - 1]; };
  *info = 0;
  C(1) = D(1);
  int nm1 = n - 1;
  if (nm1 >= 1) {
    D(1) = En(1);
    En(1) = 0.0;
    En(n) = 0.0;
    for (int k = 1; k <= nm1; ++k) {
      int kp1 = k + 1;
      // The larger of the two rows is the pivot row.
      if (std::fabs(C(kp1)) >= std::fabs(C(k))) {
        std::swap(C(kp1), C(k));
        std::swap(D(kp1), D(k));
        std::swap(En(kp1), En(k));
        std::swap(B(kp1), B(k));
      }
      if (C(k) == 0.0) {
        *info = k;
        return;
      }
      double t = -C(kp1) / C(k);
      C(kp1) = D(kp1) + t * D(k);
      D(kp1) = En(kp1) + t * En(k);
      En(kp1) = 0.0;
      B(kp1) += t * B(k);
    }
  }
  if (C(n) == 0.0) {
    *info = n;
    return;
  }
  // Back substitution.
  B(n) /= C(n);
  if (n == 1) return;
  B(nm1) = (B(nm1) - D(nm1) * B(n)) / C(nm1);
  for (int k = n - 2; k >= 1; --k) B(k) = (B(k) - D(k) * B(k + 1) - En(k) * B(k + 2)) / C(k);
}

// ---------------------------------------------------------------- integrators

void dqagse(FUNCTIONREF f, double a, double b, double epsabs, double epsrel, int limit, double* result, double* abserr,
            int* neval, int* ier, double* alist, double* blist, double* rlist, double* elist, int* iord, int* last) {
  auto rule = [f](double a1, double b1, double* r, double* e, double* ra, double* rs) {
    dqk21(f, a1, b1, r, e, ra, rs);
  };
  AdaptiveWithExtrapolation(rule, a, b, epsabs, epsrel, limit, result, abserr, ier, alist, blist, rlist, elist, iord,
                            last);
  *neval = *ier == 6 && *last == 0 ? 0 : 42 * *last - 21;
}

void dqagie(FUNCTIONREF f, double bound, int inf, double epsabs, double epsrel, int limit, double* result,
            double* abserr, int* neval, int* ier, double* alist, double* blist, double* rlist, double* elist, int* iord,
            int* last) {
  double boun = inf == 2 ? 0.0 : bound;
  auto rule = [f, boun, inf](double a1, double b1, double* r, double* e, double* ra, double* rs) {
    dqk15i(f, boun, inf, a1, b1, r, e, ra, rs);
  };
  AdaptiveWithExtrapolation(rule, 0.0, 1.0, epsabs, epsrel, limit, result, abserr, ier, alist, blist, rlist, elist,
                            iord, last);
  *neval = *ier == 6 && *last == 0 ? 0 : 30 * *last - 15;
  if (inf == 2) *neval *= 2;
}

void dqawoe(FUNCTIONREF f, double a, double b, double omega, int integr, double epsabs, double epsrel, int limit,
            int icall, int maxp1, double* result, double* abserr, int* neval, int* ier, int* last, double* alist,
            double* blist, double* rlist, double* elist, int* iord, int* nnlog, int* momcom, double* chebmo) {
  const double epmach = d1mach(4);
  *ier = 0;
  *neval = 0;
  *last = 0;
  *result = 0.0;
  *abserr = 0.0;
  alist[0] = a;
  blist[0] = b;
  rlist[0] = 0.0;
  elist[0] = 0.0;
  iord[0] = 0;
  nnlog[0] = 0;
  if ((integr != 1 && integr != 2) || (epsabs <= 0.0 && epsrel < std::max(50.0 * epmach, 0.5e-28)) || icall < 1 ||
      maxp1 < 1) {
    *ier = 6;
    return;
  }

  // First approximation to the integral.
  double domega = std::fabs(omega);
  int nrmom = 0;
  if (icall <= 1) *momcom = 0;
  double defabs, resabs;
  dqc25f(f, a, b, domega, integr, nrmom, maxp1, 0, result, abserr, neval, &defabs, &resabs, momcom, chebmo);
  *last = 1;
  auto finish = [&] {
    if (integr == 2 && omega < 0.0) *result = -*result;
  };
  if (IntegrationInvalid()) {
    *ier = kIerInvalidOperation;
    return;
  }
  double dres = std::fabs(*result);
  double errbnd = std::max(epsabs, epsrel * dres);
  rlist[0] = *result;
  elist[0] = *abserr;
  iord[0] = 0;
  if (*abserr <= 100.0 * epmach * defabs && *abserr > errbnd) *ier = 2;
  if (limit == 1) *ier = 1;
  if (*ier != 0 || *abserr <= errbnd) return finish();

  // Initializations.
  const double uflow = d1mach(1);
  const double oflow = d1mach(2);
  double errmax = *abserr;
  int maxerr = 0;
  double area = *result;
  double errsum = *abserr;
  *abserr = oflow;
  int nrmax = 0;
  bool extrap = false;
  bool noext = false;
  int ierro = 0;
  int iroff1 = 0, iroff2 = 0, iroff3 = 0;
  int ktmin = 0;
  double small = std::fabs(b - a) * 0.75;
  EXTRAPOLATION table;
  bool extall = false;
  if (0.5 * std::fabs(b - a) * domega <= 2.0) {
    table.numrl2 = 1;
    extall = true;
    table.rlist2[0] = *result;
  }
  if (0.25 * std::fabs(b - a) * domega <= 2.0) extall = true;
  int ksgn = dres >= (1.0 - 50.0 * epmach) * defabs ? 1 : -1;
  double erlarg = 0.0, ertest = 0.0, correc = 0.0;

  // Main loop: bisect the subinterval with the nrmax-th largest error estimate.
  bool sumOfPieces = false;
  for (*last = 2; *last <= limit; ++*last) {
    const int n = *last;
    nrmom = nnlog[maxerr] + 1;
    double a1 = alist[maxerr];
    double b1 = 0.5 * (alist[maxerr] + blist[maxerr]);
    double a2 = b1;
    double b2 = blist[maxerr];
    double erlast = errmax;
    double area1, error1, area2, error2, defab1, defab2;
    int nev = 0;
    dqc25f(f, a1, b1, domega, integr, nrmom, maxp1, 0, &area1, &error1, &nev, &resabs, &defab1, momcom, chebmo);
    *neval += nev;
    dqc25f(f, a2, b2, domega, integr, nrmom, maxp1, 1, &area2, &error2, &nev, &resabs, &defab2, momcom, chebmo);
    *neval += nev;
    if (IntegrationInvalid()) {
      *ier = kIerInvalidOperation;
      return;
    }

    // Improve the approximations of the integral and of the error; count roundoff.
    double area12 = area1 + area2;
    double erro12 = error1 + error2;
    errsum = errsum + erro12 - errmax;
    area = area + area12 - rlist[maxerr];
    if (defab1 != error1 && defab2 != error2) {
      if (std::fabs(rlist[maxerr] - area12) <= 1.0e-5 * std::fabs(area12) && erro12 >= 0.99 * errmax) {
        if (extrap) {
          ++iroff2;
        } else {
          ++iroff1;
        }
      }
      if (n > 10 && erro12 > errmax) ++iroff3;
    }
    rlist[maxerr] = area1;
    rlist[n - 1] = area2;
    nnlog[maxerr] = nrmom;
    nnlog[n - 1] = nrmom;
    errbnd = std::max(epsabs, epsrel * std::fabs(area));

    // Roundoff, the subdivision limit, a point of bad behaviour.
    if (iroff1 + iroff2 >= 10 || iroff3 >= 20) *ier = 2;
    if (iroff2 >= 5) ierro = 3;
    if (n == limit) *ier = 1;
    if (std::max(std::fabs(a1), std::fabs(b2)) <= (1.0 + 100.0 * epmach) * (std::fabs(a2) + 1000.0 * uflow)) *ier = 4;

    // Append the new pieces.
    if (error2 > error1) {
      alist[maxerr] = a2;
      alist[n - 1] = a1;
      blist[n - 1] = b1;
      rlist[maxerr] = area2;
      rlist[n - 1] = area1;
      elist[maxerr] = error2;
      elist[n - 1] = error1;
    } else {
      alist[n - 1] = a2;
      blist[maxerr] = b1;
      blist[n - 1] = b2;
      elist[maxerr] = error1;
      elist[n - 1] = error2;
    }
    dqpsrt(limit, n, &maxerr, &errmax, elist, iord, &nrmax);
    if (errsum <= errbnd) {
      sumOfPieces = true;
      break;
    }
    if (*ier != 0) break;
    if (n == 2 && extall) {
      small *= 0.5;
      table.rlist2[table.numrl2++] = area;
      ertest = errbnd;
      erlarg = errsum;
      continue;
    }
    if (noext) continue;
    bool extrapolateNow = false;
    if (extall) {
      erlarg -= erlast;
      if (std::fabs(b1 - a1) > small) erlarg += erro12;
      extrapolateNow = extrap;
    }
    if (!extrapolateNow) {
      // Go on bisecting until the piece to bisect next is the smallest.
      double width = std::fabs(blist[maxerr] - alist[maxerr]);
      if (width > small) continue;
      if (!extall) {
        // Extrapolation starts once the pieces are integrated by the
        // Gauss-Kronrod rule (short against the period).
        small *= 0.5;
        if (0.25 * width * domega > 2.0) continue;
        extall = true;
        ertest = errbnd;
        erlarg = errsum;
        continue;
      }
      extrap = true;
      nrmax = 1;
    }

    // The smallest piece has the largest error: first bisect the larger
    // pieces whose errors still count (erlarg), then extrapolate.
    if (ierro != 3 && erlarg > ertest) {
      int jupbnd = n > limit / 2 + 2 ? limit + 3 - n : n;
      bool largerPieceLeft = false;
      for (int k = nrmax; k < jupbnd; ++k) {
        maxerr = iord[nrmax];
        errmax = elist[maxerr];
        if (std::fabs(blist[maxerr] - alist[maxerr]) > small) {
          largerPieceLeft = true;
          break;
        }
        ++nrmax;
      }
      if (largerPieceLeft) continue;
    }

    // Extrapolation.
    table.rlist2[table.numrl2++] = area;
    if (table.numrl2 >= 3) {
      double reseps, abseps;
      dqelg(&table.numrl2, table.rlist2, &reseps, &abseps, table.res3la, &table.nres);
      ++ktmin;
      if (ktmin > 5 && *abserr < 1.0e-3 * errsum) *ier = 5;
      if (abseps < *abserr) {
        ktmin = 0;
        *abserr = abseps;
        *result = reseps;
        correc = erlarg;
        ertest = std::max(epsabs, epsrel * std::fabs(reseps));
        if (*abserr <= ertest) break;
      }
      if (table.numrl2 == 1) noext = true;
      if (*ier == 5) break;
    }

    // Go on with the largest error, bisecting the smallest pieces next.
    maxerr = iord[0];
    errmax = elist[maxerr];
    nrmax = 0;
    extrap = false;
    small *= 0.5;
    erlarg = errsum;
  }
  if (*last > limit) *last = limit;

  // The final result.
  if (!sumOfPieces) {
    sumOfPieces = *abserr == oflow || table.nres == 0 ||
                  !KeepExtrapolated(ier, ierro, ksgn, defabs, errsum, area, correc, true, result, abserr);
  }
  if (sumOfPieces) {
    *result = 0.0;
    for (int k = 0; k < *last; ++k) *result += rlist[k];
    *abserr = errsum;
  }
  if (*ier > 2) --*ier;
  finish();
}

// ---------------------------------------------------------------- drivers

void dqags(FUNCTIONREF f, double a, double b, double epsabs, double epsrel, double* result, double* abserr, int* neval,
           int* ier, int limit, int lenw, int* last, int* iwork, double* work) {
  FloatingPointScope scope;
  *ier = 6;
  *neval = 0;
  *last = 0;
  *result = 0.0;
  *abserr = 0.0;
  if (limit < 1 || lenw < 4 * int64_t{limit}) return;
  CheckedIntegrand checked(f);
  dqagse(FUNCTIONREF(checked), a, b, epsabs, epsrel, limit, result, abserr, neval, ier, work, work + limit,
         work + 2 * int64_t{limit}, work + 3 * int64_t{limit}, iwork, last);
}

void dqagi(FUNCTIONREF f, double bound, int inf, double epsabs, double epsrel, double* result, double* abserr,
           int* neval, int* ier, int limit, int lenw, int* last, int* iwork, double* work) {
  FloatingPointScope scope;
  *ier = 6;
  *neval = 0;
  *last = 0;
  *result = 0.0;
  *abserr = 0.0;
  if (limit < 1 || lenw < 4 * int64_t{limit}) return;
  if (inf != 1 && inf != -1 && inf != 2) return;
  CheckedIntegrand checked(f);
  dqagie(FUNCTIONREF(checked), bound, inf, epsabs, epsrel, limit, result, abserr, neval, ier, work, work + limit,
         work + 2 * int64_t{limit}, work + 3 * int64_t{limit}, iwork, last);
}

void dqawo(FUNCTIONREF f, double a, double b, double omega, int integr, double epsabs, double epsrel, double* result,
           double* abserr, int* neval, int* ier, int leniw, int maxp1, int lenw, int* last, int* iwork, double* work) {
  FloatingPointScope scope;
  *ier = 6;
  *neval = 0;
  *last = 0;
  *result = 0.0;
  *abserr = 0.0;
  if (leniw < 2 || maxp1 < 1 || lenw < 2 * int64_t{leniw} + 25 * int64_t{maxp1}) return;
  int limit = leniw / 2;
  int64_t l1 = limit, l2 = 2 * l1, l3 = 3 * l1, l4 = 4 * l1;
  int momcom = 0;
  CheckedIntegrand checked(f);
  dqawoe(FUNCTIONREF(checked), a, b, omega, integr, epsabs, epsrel, limit, 1, maxp1, result, abserr, neval, ier, last,
         work, work + l1, work + l2, work + l3, iwork, iwork + l1, &momcom, work + l4);
}
