// Adaptive integration of the QUADPACK kind (R. Piessens, E. de Doncker-
// Kapenga, C. W. Ueberhuber, D. K. Kahaner: QUADPACK, Springer 1983), behind
// the language's integration built-ins. The routines keep the package's
// names, argument orders, error codes and constants:
//
//   dqags  / dqagse  finite interval: globally adaptive bisection with the
//                    21-point Gauss-Kronrod rule and Wynn's epsilon algorithm
//   dqagi  / dqagie  (bound, +inf), (-inf, bound) or (-inf, +inf) mapped onto
//                    (0, 1], 15-point Gauss-Kronrod rule
//   dqawo  / dqawoe  f(x) cos(omega x) or f(x) sin(omega x) over a finite
//                    interval: 25-point Clenshaw-Curtis rule with modified
//                    Chebyshev moments, 15-point Gauss-Kronrod on short pieces
//
// The integrand is any callable, seen through a FUNCTIONREF. A driver runs
// the integration in a floating-point scope of its own: it saves the
// caller's environment, clears the status and masks every exception, and
// restores the caller's environment on every return. An integrand value that
// is not a number, or an invalid operation anywhere in the integration (the
// integrand's own arithmetic included), ends it with ier = 10.
//
// Error codes (ier): 0 the requested accuracy was reached; 1 the maximum
// number of subdivisions was reached; 2 roundoff error prevents the requested
// tolerance; 3 extremely bad integrand behaviour somewhere in the interval; 4
// the algorithm does not converge (roundoff in the extrapolation table); 5
// the integral is divergent or converges too slowly; 6 invalid input (result,
// abserr, neval and last are 0 and nothing is evaluated); 10 an invalid
// operation or a value that is not a number ended the integration.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

// A reference to a callable double(double): the integrand. It does not own
// the callable, which must outlive every call (a temporary passed as an
// argument lives until the call returns).
class FUNCTIONREF {
 public:
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::remove_cvref_t<F>, FUNCTIONREF>>>
  FUNCTIONREF(F&& function)  // NOLINT: implicit, so that a lambda can be passed as it is
  : object_(const_cast<void*>(static_cast<const void*>(std::addressof(function)))), call_([](void* object, double x) {
      return static_cast<double>((*static_cast<std::remove_reference_t<F>*>(object))(x));
    }) {}

  double operator()(double x) const { return call_(object_, x); }

 private:
  void* object_;
  double (*call_)(void* object, double x);
};

// The code that a driver gives when an invalid operation or a value that is
// not a number ended the integration.
constexpr int kIerInvalidOperation = 10;

// Machine constants of IEEE double precision: 1 the smallest positive
// normalised number, 2 the largest number, 3 2^-53, 4 2^-52 (the machine
// epsilon), 5 log10(2). Other indices give 0.
double d1mach(int i);

// ---------------------------------------------------------------- drivers

// Integral of f over [a, b] (b < a gives minus the integral over [b, a]).
// Workspace: iwork of limit ints, work of lenw >= 4 limit doubles;
// limit >= 1 subintervals at most; last receives the number used.
void dqags(FUNCTIONREF f, double a, double b, double epsabs, double epsrel, double* result, double* abserr, int* neval,
           int* ier, int limit, int lenw, int* last, int* iwork, double* work);

// Integral of f over (bound, +inf) (inf = 1), (-inf, bound) (inf = -1) or
// (-inf, +inf) (inf = 2, bound not used); other inf values give ier = 6.
// Workspace as for dqags.
void dqagi(FUNCTIONREF f, double bound, int inf, double epsabs, double epsrel, double* result, double* abserr,
           int* neval, int* ier, int limit, int lenw, int* last, int* iwork, double* work);

// Integral of f(x) cos(omega x) (integr = 1) or f(x) sin(omega x) (integr =
// 2) over [a, b]. Workspace: iwork of leniw >= 2 ints (leniw / 2
// subintervals at most), work of lenw >= 2 leniw + 25 maxp1 doubles, where
// maxp1 >= 1 is the number of subdivision levels whose Chebyshev moments are
// kept.
void dqawo(FUNCTIONREF f, double a, double b, double omega, int integr, double epsabs, double epsrel, double* result,
           double* abserr, int* neval, int* ier, int leniw, int maxp1, int lenw, int* last, int* iwork, double* work);

// ---------------------------------------------------------------- integrators
// Called by the drivers inside their floating-point scope (they read the
// invalid-operation flag); the lists hold limit entries each.

void dqagse(FUNCTIONREF f, double a, double b, double epsabs, double epsrel, int limit, double* result, double* abserr,
            int* neval, int* ier, double* alist, double* blist, double* rlist, double* elist, int* iord, int* last);
void dqagie(FUNCTIONREF f, double bound, int inf, double epsabs, double epsrel, int limit, double* result,
            double* abserr, int* neval, int* ier, double* alist, double* blist, double* rlist, double* elist, int* iord,
            int* last);
// icall 1 computes the moments afresh; icall > 1 reuses the momcom levels of
// chebmo (25 moments per level, maxp1 levels) from an earlier call.
void dqawoe(FUNCTIONREF f, double a, double b, double omega, int integr, double epsabs, double epsrel, int limit,
            int icall, int maxp1, double* result, double* abserr, int* neval, int* ier, int* last, double* alist,
            double* blist, double* rlist, double* elist, int* iord, int* nnlog, int* momcom, double* chebmo);

// ---------------------------------------------------------------- rules

// 21-point Gauss-Kronrod rule over [a, b] with the 10-point Gauss rule for
// the error estimate; resabs approximates the integral of |f|, resasc that of
// |f - mean|.
void dqk21(FUNCTIONREF f, double a, double b, double* result, double* abserr, double* resabs, double* resasc);
// 15-point Gauss-Kronrod rule over [a, b] within (0, 1] of the transformed
// infinite range x = bound + dinf (1 - t) / t, dinf = min(1, inf); for inf =
// 2 the integrand is f(x) + f(-x).
void dqk15i(FUNCTIONREF f, double boun, int inf, double a, double b, double* result, double* abserr, double* resabs,
            double* resasc);
// 15-point Gauss-Kronrod rule for f(x) cos(omega x) (integr 1) or f(x)
// sin(omega x) (integr 2) over [a, b].
void dqk15w(FUNCTIONREF f, double omega, int integr, double a, double b, double* result, double* abserr, double* resabs,
            double* resasc);
// Integral of f(x) cos(omega x) or f(x) sin(omega x) over [a, b] by the
// generalized Clenshaw-Curtis method (Gauss-Kronrod when |omega h| <= 2, h the
// half-length). nrmom is the subdivision level of [a, b]; the moments of
// level nrmom are taken from chebmo (maxp1 levels, row m at chebmo[25 (m-1)])
// when momcom levels hold them or when ksave = 1 (the second half of a
// bisection reuses the moments just computed for the first), else computed
// and kept.
void dqc25f(FUNCTIONREF f, double a, double b, double omega, int integr, int nrmom, int maxp1, int ksave,
            double* result, double* abserr, int* neval, double* resabs, double* resasc, int* momcom, double* chebmo);
// Chebyshev coefficients of degrees 12 and 24 of f on [-1, 1] from its 25
// values fval[j] = f(cos(j pi / 24)), the two end values halved; x holds
// cos(k pi / 24), k = 1..11.
void dqcheb(const double* x, const double* fval, double* cheb12, double* cheb24);
// Wynn's epsilon algorithm on the n elements of epstab (at least n + 2
// long): the extrapolated result and its error estimate; res3la keeps the
// last three results and nres counts the calls.
void dqelg(int* n, double* epstab, double* result, double* abserr, double* res3la, int* nres);
// Keeps iord[0..] ordered by descending error estimates after a bisection:
// last intervals exist, maxerr (0-based) is the one bisected; on return
// maxerr and ermax name the interval to bisect next, nrmax (0-based) its
// place in iord.
void dqpsrt(int limit, int last, int* maxerr, double* ermax, const double* elist, int* iord, int* nrmax);
// Solves the tridiagonal system with sub-diagonal c[1..n-1], diagonal d and
// super-diagonal e[0..n-2] for the right-hand side b (overwritten by the
// solution) by Gaussian elimination with partial pivoting. info is 0, or the
// 1-based row whose pivot is zero. c, d and e are overwritten.
void dgtsl(int n, double* c, double* d, double* e, double* b, int* info);
