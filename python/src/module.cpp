// veltrane._core: numpy arrays in and out, batches over threads without the interpreter
// lock, facade errors as Python exceptions. Everything it computes comes from facade.h; the
// user-facing API, its checks of names and options and its docstrings are in veltrane/.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "facade.h"

namespace py = pybind11;
namespace fc = veltrane::facade;

namespace {

// ---- Arrays ---------------------------------------------------------------------------------

// A float32 or float64 array of one or two dimensions, read in place: rows of `cols` values
// `col_stride` bytes apart. Nothing is copied unless a row must be (see row()).
struct Rows {
  const char* data = nullptr;
  py::ssize_t rows = 1, cols = 0, row_stride = 0, col_stride = 0;
  bool f32 = true;
  bool batch = false;  // two dimensions

  // Row r as contiguous float32: the array's own memory when it is float32 with unit stride
  // and aligned, else converted (float64 rounded to float32) into `buffer`.
  std::span<const float> row(py::ssize_t r, std::vector<float>& buffer) const {
    const char* at = data + r * row_stride;
    if (in_place(r)) return {reinterpret_cast<const float*>(at), std::size_t(cols)};
    buffer.resize(std::size_t(cols));
    for (py::ssize_t k = 0; k < cols; ++k) buffer[std::size_t(k)] = value(at + k * col_stride);
    return buffer;
  }
  bool in_place(py::ssize_t r) const {
    return f32 && col_stride == py::ssize_t(sizeof(float)) &&
           reinterpret_cast<std::uintptr_t>(data + r * row_stride) % alignof(float) == 0;
  }
  // Rows r0 .. r1 - 1 converted into `buffer` (one row after the other), reading point by
  // point across the rows: a Fortran-ordered batch is then read a cache line at a time.
  void gather(py::ssize_t r0, py::ssize_t r1, std::vector<float>& buffer) const {
    buffer.resize(std::size_t((r1 - r0) * cols));
    constexpr py::ssize_t kBlock = 64;  // points per pass: their cache lines serve every row
    for (py::ssize_t k0 = 0; k0 < cols; k0 += kBlock) {
      const py::ssize_t k1 = std::min(cols, k0 + kBlock);
      for (py::ssize_t r = r0; r < r1; ++r) {
        const char* at = data + r * row_stride;
        float* out = buffer.data() + (r - r0) * cols;
        for (py::ssize_t k = k0; k < k1; ++k) out[k] = value(at + k * col_stride);
      }
    }
  }

 private:
  float value(const char* p) const {
    if (f32) {
      float v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    double v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<float>(v);
  }
};

Rows rows_of(const py::array& a, const char* name, int max_dims) {
  const py::dtype dt = a.dtype();
  const bool native_float = dt.kind() == 'f' && dt.attr("isnative").cast<bool>();
  const bool f32 = native_float && dt.itemsize() == 4;
  if (!f32 && !(native_float && dt.itemsize() == 8))
    throw py::type_error(std::string(name) + " must hold float32 or float64 values (native byte order), not " +
                         py::repr(dt).cast<std::string>());
  if (a.ndim() < 1 || a.ndim() > max_dims)
    throw py::value_error(std::string(name) +
                          (max_dims == 1 ? " must be one-dimensional" : " must have one or two dimensions") + ", not " +
                          std::to_string(a.ndim()));
  Rows r;
  r.data = static_cast<const char*>(a.data());
  r.f32 = f32;
  r.batch = a.ndim() == 2;
  r.rows = r.batch ? a.shape(0) : 1;
  r.cols = a.shape(a.ndim() - 1);
  r.row_stride = r.batch ? a.strides(0) : 0;
  r.col_stride = a.strides(a.ndim() - 1);
  return r;
}

// A one-dimensional float array as float32 (its own memory when it already is).
struct Vector {
  Rows rows;
  std::vector<float> buffer;
  std::span<const float> values;
  Vector(const py::array& a, const char* name) : rows(rows_of(a, name, 1)) { values = rows.row(0, buffer); }
};

template <class T>
py::array_t<T> new_array(std::vector<py::ssize_t> shape) {
  return py::array_t<T>(std::move(shape));
}

py::array_t<float> to_numpy(const std::vector<float>& v) {
  py::array_t<float> a(py::ssize_t(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

// ---- Threads ----------------------------------------------------------------------------------

// fn(r0, r1, work, buffer) over the rows [0, n) in chunks of kChunk, on `threads` threads
// without the interpreter lock, in blocks between which pending signals (Ctrl-C) are
// handled. The first exception of any thread ends the work and is raised.
constexpr py::ssize_t kChunk = 16;

template <class Fn>
void for_rows(py::ssize_t n, int threads, Fn fn) {
  const py::ssize_t chunks = (n + kChunk - 1) / kChunk;
  const int t_count = int(std::clamp<py::ssize_t>(threads, 1, std::max<py::ssize_t>(chunks, 1)));
  std::vector<fc::Work> works(static_cast<std::size_t>(t_count));
  std::vector<std::vector<float>> buffers(static_cast<std::size_t>(t_count));
  const py::ssize_t block = 256 * kChunk * py::ssize_t(t_count);
  for (py::ssize_t start = 0; start < n; start += block) {
    const py::ssize_t end = std::min(n, start + block);
    std::exception_ptr error;
    {
      py::gil_scoped_release unlocked;
      std::atomic<py::ssize_t> next{start};
      std::mutex guard;
      const auto worker = [&](std::size_t t) {
        try {
          for (py::ssize_t r = next.fetch_add(kChunk); r < end; r = next.fetch_add(kChunk))
            fn(r, std::min(end, r + kChunk), works[t], buffers[t]);
        } catch (...) {
          std::lock_guard lock(guard);
          if (!error) error = std::current_exception();
          next = end;
        }
      };
      std::vector<std::thread> pool;
      for (std::size_t t = 1; t < std::size_t(t_count); ++t) pool.emplace_back(worker, t);
      worker(0);
      for (std::thread& th : pool) th.join();
    }
    if (error) std::rethrow_exception(error);
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
}

// ---- Errors -----------------------------------------------------------------------------------

void translate(const fc::Error& e) {
  const char* type_name = nullptr;
  switch (e.kind) {
    case fc::Fault::value: break;
    case fc::Fault::filter_file: type_name = "FilterSetError"; break;
    case fc::Fault::input_file: type_name = "InputFileError"; break;
    case fc::Fault::stop: type_name = "RunStopError"; break;
    case fc::Fault::internal: type_name = "VeltraneError"; break;
  }
  py::object type = type_name ? py::module_::import("veltrane._errors").attr(type_name)
                              : py::reinterpret_borrow<py::object>(PyExc_ValueError);
  py::object error = type(std::string(e.what()));
  if (type_name) {
    error.attr("path") = e.path.empty() ? py::object(py::none()) : py::object(py::str(e.path));
    error.attr("record") = e.record > 0 ? py::object(py::int_(e.record)) : py::object(py::none());
    error.attr("console") = py::str(e.console);
    error.attr("reason") = py::str(e.reason.empty() ? std::string(e.what()) : e.reason);
  }
  PyErr_SetObject(type.ptr(), error.ptr());
}

// ---- Photometry -----------------------------------------------------------------------------

fc::Weighting weighting_of(const std::string& w) {
  if (w == "energy") return fc::Weighting::energy;
  if (w == "photon") return fc::Weighting::photon;
  throw py::value_error("weighting must be 'energy' or 'photon', not '" + w + "'");
}

// The spectra of `flux` (one, or N rows) on the grid `wave`; results (N, F[, 7]) as asked.
py::dict measure(const fc::Filters& fs, const py::array& wave_in, const py::array& flux_in, bool want_flux,
                 bool want_fractions, bool want_mags, float missing, int threads, bool literal) {
  const Vector wave(wave_in, "wave");
  const Rows flux = rows_of(flux_in, "flux", 2);
  if (flux.cols != wave.rows.cols) {
    std::string hint;
    if (flux.batch && flux.rows == wave.rows.cols)
      hint = "; a batch holds one spectrum per row, shape (N, points): pass flux.T";
    throw py::value_error("flux has " + std::to_string(flux.cols) + " points per spectrum but wave has " +
                          std::to_string(wave.rows.cols) + hint);
  }
  const py::ssize_t n = flux.rows, nf = fs.size();
  py::dict out;
  // Raw pointers taken while the interpreter lock is held; threads write disjoint rows.
  const auto add = [&](const char* key, std::vector<py::ssize_t> shape) -> float* {
    py::array_t<float> a(shape);
    out[key] = a;
    return a.mutable_data();
  };
  float* fluxes = want_flux ? add("flux", {n, nf}) : nullptr;
  float* covered = want_fractions ? add("covered", {n, nf}) : nullptr;
  float* positive = want_fractions ? add("positive", {n, nf}) : nullptr;
  float* mags = want_mags ? add("magnitudes", {n, nf, fc::kSystems}) : nullptr;
  const auto slice = [](float* a, py::ssize_t r, py::ssize_t per) {
    return a ? std::span<float>(a + r * per, std::size_t(per)) : std::span<float>();
  };
  const auto outputs = [&](py::ssize_t r) {
    return fc::Outputs{slice(fluxes, r, nf), slice(covered, r, nf), slice(positive, r, nf),
                       slice(mags, r, nf * fc::kSystems), missing};
  };
  if (literal) {
    std::vector<float> buffer;
    for (py::ssize_t r = 0; r < n; ++r) fs.measure_literal(wave.values, flux.row(r, buffer), outputs(r));
    return out;
  }
  const fc::Filters::Grid grid = fs.prepare(wave.values);
  for_rows(n, threads, [&](py::ssize_t r0, py::ssize_t r1, fc::Work& work, std::vector<float>& buffer) {
    if (flux.in_place(r0) && flux.in_place(r1 - 1)) {
      for (py::ssize_t r = r0; r < r1; ++r) fs.measure(grid, flux.row(r, buffer), work, outputs(r));
      return;
    }
    flux.gather(r0, r1, buffer);
    for (py::ssize_t r = r0; r < r1; ++r)
      fs.measure(grid,
                 std::span<const float>(buffer).subspan(std::size_t((r - r0) * flux.cols), std::size_t(flux.cols)),
                 work, outputs(r));
  });
  return out;
}

py::dict filter_arrays(const fc::Filters& fs) {
  py::dict d;
  d["names"] = fs.names();
  d["samples"] = fs.samples();
  d["lambda_eff"] = to_numpy(fs.lambda_eff());
  d["area"] = to_numpy(fs.area());
  d["nu_area"] = to_numpy(fs.nu_area());
  d["vega_flux"] = to_numpy(fs.vega_flux());
  d["ab_vega"] = to_numpy(fs.ab_vega());
  d["tg_vega"] = to_numpy(fs.tg_vega());
  py::array_t<float> z = to_numpy(fs.zero_points());
  d["zero_points"] = z.reshape({py::ssize_t(fs.size()), py::ssize_t(fc::kSystems)});
  return d;
}

// ---- Extinction -------------------------------------------------------------------------------

py::tuple law(const std::string& code, const py::array& wave_in, float r_v) {
  const Vector wave(wave_in, "wave");
  const std::size_t n = wave.values.size();
  py::array_t<float> q(static_cast<py::ssize_t>(n));
  py::array_t<bool> in_range(static_cast<py::ssize_t>(n));
  fc::law_values(code, r_v, wave.values, {q.mutable_data(), n},
                 {reinterpret_cast<std::uint8_t*>(in_range.mutable_data()), n});
  return py::make_tuple(q, in_range);
}

py::tuple red_term(const std::string& code, float lambda_norm, const py::array& wave_in, py::object grid_in) {
  const Vector wave(wave_in, "wave");
  const std::size_t n = wave.values.size();
  py::array_t<float> red(static_cast<py::ssize_t>(n));
  py::array_t<bool> in_range(static_cast<py::ssize_t>(n));
  float q_norm;
  if (grid_in.is_none()) {
    q_norm = fc::red_term(code, lambda_norm, wave.values, {red.mutable_data(), n},
                          {reinterpret_cast<std::uint8_t*>(in_range.mutable_data()), n});
  } else {
    const Vector grid(grid_in.cast<py::array>(), "grid");
    q_norm = fc::red_term_on_grid(code, lambda_norm, grid.values, wave.values, {red.mutable_data(), n});
    std::vector<float> q(n);
    fc::law_values(code, 3.1f, wave.values, q, {reinterpret_cast<std::uint8_t*>(in_range.mutable_data()), n});
  }
  return py::make_tuple(red, in_range, q_norm);
}

// flux (one spectrum, or N rows on the grid of `red`) reddened (deredden false) or de-reddened.
py::array_t<float> apply_extinction(const py::array& red_in, const py::array& flux_in, float a_v, float q_norm,
                                    bool deredden) {
  const Vector red(red_in, "red");
  const Rows flux = rows_of(flux_in, "flux", 2);
  if (flux.cols != red.rows.cols)
    throw py::value_error("flux has " + std::to_string(flux.cols) + " points per spectrum but wave has " +
                          std::to_string(red.rows.cols));
  py::array_t<float> out = flux.batch ? new_array<float>({flux.rows, flux.cols}) : new_array<float>({flux.cols});
  std::vector<float> buffer;
  for (py::ssize_t r = 0; r < flux.rows; ++r) {
    const std::span<float> o(out.mutable_data() + r * flux.cols, std::size_t(flux.cols));
    if (deredden) fc::deredden(a_v, q_norm, red.values, flux.row(r, buffer), o);
    else fc::redden(a_v, red.values, flux.row(r, buffer), o);
  }
  return out;
}

// ---- One galaxy -------------------------------------------------------------------------------

py::dict fit_dict(const fc::Fit& f) {
  py::dict d;
  d["base_file"] = f.base_file;
  d["law"] = f.law;
  d["a_v"] = f.a_v;
  d["lambda_norm"] = f.lambda_norm;
  d["flux_norm"] = f.flux_norm;
  d["q_norm"] = f.q_norm;
  d["fit_range"] = py::make_tuple(f.fit_from, f.fit_to);
  d["mass_tot_2"] = f.mass_tot_2;
  d["mass_tot_3"] = f.mass_tot_3;
  d["m3_sum"] = f.m3_sum;
  py::dict pop;
  pop["ssp"] = f.ssp;
  for (const auto& [key, v] :
       {std::pair{"x", &f.x}, {"m2", &f.m2}, {"m3", &f.m3}, {"age", &f.age}, {"met", &f.met}, {"alpha", &f.alpha}})
    pop[key] = to_numpy(*v);
  d["population"] = pop;
  d["wave"] = to_numpy(f.wave);
  d["flux"] = to_numpy(f.flux);
  d["flux_s"] = to_numpy(f.flux_s);
  d["flux_w"] = to_numpy(f.flux_w);
  return d;
}

py::dict galaxy_dict(const fc::Galaxy& g) {
  py::dict d;
  d["ok"] = g.ok;
  d["failure"] =
      g.ok ? py::object(py::none())
           : py::object(py::make_tuple(
                 g.failure.path, g.failure.record > 0 ? py::object(py::int_(g.failure.record)) : py::object(py::none()),
                 g.failure.reason));
  for (const auto& [key, v] : {std::pair{"console", &g.console},
                               {"log", &g.log},
                               {"warnings", &g.warnings},
                               {"mag_text", &g.mag_text},
                               {"spc_text", &g.spc_text},
                               {"mag_ecsv", &g.mag_ecsv},
                               {"spc_ecsv", &g.spc_ecsv}})
    d[key] = *v;
  d["fit"] = fit_dict(g.fit);
  for (const auto& [key, v] : {std::pair{"wave", &g.wave},
                               {"total", &g.total},
                               {"young", &g.young},
                               {"old", &g.old},
                               {"red_term", &g.red},
                               {"ext_wave", &g.ext_wave},
                               {"ext_flux", &g.ext_flux},
                               {"obs_wave", &g.obs_wave},
                               {"obs_flux", &g.obs_flux},
                               {"covered", &g.covered},
                               {"positive", &g.positive},
                               {"zero_point", &g.zero_point},
                               {"lambda_eff", &g.lambda_eff}})
    d[key] = to_numpy(*v);
  py::array_t<float> m = to_numpy(g.magnitudes);
  d["magnitudes"] = m.reshape({py::ssize_t(4), py::ssize_t(g.filters), py::ssize_t(fc::kSystems)});
  d["log_mass"] = to_numpy(std::vector<float>(g.log_mass.begin(), g.log_mass.end()));
  d["filters"] = g.filter_set ? py::cast(*g.filter_set) : py::object(py::none());
  return d;
}

// The names the command line's products use, from its own tables.
void add_names(py::module_& m) {
  m.attr("SYSTEMS") = py::cast(fc::system_keys());
  m.attr("SYSTEM_LABELS") = py::cast(fc::system_labels());
  m.attr("SLOTS") = py::cast(fc::slot_words());
  m.attr("MASSES") = py::cast(fc::mass_keys());
  m.attr("LAWS") = py::cast(fc::law_codes());
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Veltrane's compiled core; use the veltrane package instead.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const fc::Error& e) { translate(e); }
  });
  add_names(m);

  py::class_<fc::Filters>(m, "FilterSet", "A filter set read and calibrated as a run does.")
      .def(py::init(
               [](const std::string& dir, const std::string& w) { return fc::Filters::load(dir, weighting_of(w)); }),
           py::arg("directory"), py::arg("weighting"), "Reads and calibrates the filter directory.")
      .def_property_readonly("size", &fc::Filters::size, "Number of filters.")
      .def_property_readonly("directory", &fc::Filters::directory, "The filter directory.")
      .def_property_readonly(
          "weighting",
          [](const fc::Filters& f) { return f.weighting() == fc::Weighting::photon ? "photon" : "energy"; },
          "'energy' or 'photon'.")
      .def("arrays", &filter_arrays, "Names, sample counts and calibration values (the tables' -999.0 kept).")
      .def(
          "curve",
          [](const fc::Filters& f, int i) {
            if (i < 0 || i >= f.size()) throw py::index_error("no filter " + std::to_string(i));
            return py::make_tuple(to_numpy(f.curve_lambda(i)), to_numpy(f.curve_transmission(i)));
          },
          py::arg("index"), "The curve of filter `index` as read: wavelength (Å), transmission.")
      .def("measure", &measure, py::arg("wave"), py::arg("flux"), py::arg("want_flux"), py::arg("want_fractions"),
           py::arg("want_magnitudes"), py::arg("missing"), py::arg("threads"), py::arg("literal"),
           "Photometry of N spectra on one grid: a dict of (N, F) and (N, F, 7) float32 arrays.");

  m.def("law", &law, py::arg("code"), py::arg("wave"), py::arg("r_v"),
        "q(λ) = A(λ)/A_V and an in-range mask (q is 0.0 out of range, as in a run).");
  m.def("red_term", &red_term, py::arg("code"), py::arg("lambda_norm"), py::arg("wave"), py::arg("grid"),
        "The reddening term, the in-range mask and q(λ_norm); on `grid` and interpolated when given.");
  m.def("apply_extinction", &apply_extinction, py::arg("red"), py::arg("flux"), py::arg("a_v"), py::arg("q_norm"),
        py::arg("deredden"), "A run's reddened models, or its de-reddened observation.");
  m.def(
      "read_fit", [](const std::string& path, float phyunits) { return fit_dict(fc::read_fit(path, phyunits)); },
      py::arg("path"), py::arg("phyunits"), "A synthesis result as read.");

  m.def(
      "read_grid",
      [](const std::string& path) {
        const fc::GridFile g = fc::read_grid(path);
        py::dict d;
        d["path_dir"] = g.path_dir;
        d["base_dir"] = g.base_dir;
        d["filter_dir"] = g.filter_dir;
        d["t_cut_gyr"] = g.t_cut_gyr;
        d["phyunits"] = g.phyunits;
        d["ext_corr"] = g.ext_corr;
        d["print_fil"] = g.print_fil;
        d["verbose"] = g.verbose;
        d["names"] = g.names;
        d["distances"] = g.distances;
        return d;
      },
      py::arg("path"), "A grid file's run parameters and galaxy records.");

  py::class_<fc::Cache>(m, "Cache", "Inputs kept between rebuilds.").def(py::init<>());
  m.def(
      "rebuild",
      [](const std::string& result_file, const std::string& name, const std::string& base_dir,
         const std::string& filter_dir, float t_cut_gyr, float phyunits, int ext_corr, float distance,
         fc::Cache& cache) {
        const fc::GalaxyRequest q{result_file, name, base_dir, filter_dir, t_cut_gyr, phyunits, ext_corr, distance};
        fc::Galaxy g;
        {
          py::gil_scoped_release unlocked;
          g = fc::rebuild(q, cache);
        }
        return galaxy_dict(g);
      },
      py::arg("result_file"), py::arg("name"), py::arg("base_dir"), py::arg("filter_dir"), py::arg("t_cut_gyr"),
      py::arg("phyunits"), py::arg("ext_corr"), py::arg("distance"), py::arg("cache"),
      "One galaxy rebuilt as a run does.");
}
